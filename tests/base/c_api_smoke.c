/* The public headers of base compile as C, and the API can be used from C
 * (the agent components that embed the data store are C programs). */
#include <stdlib.h>
#include <string.h>

#include "velmora/base.h"

static signed char CompareText(const LCDNode* added, const LCDNode* existing)
{
    int order = strcmp((const char*)added->data, (const char*)existing->data);
    return (signed char)(order < 0 ? -1 : order > 0);
}

/* 0 when everything behaves; otherwise the number of the failed step. */
int BaseCApiSmoke(void)
{
    LCDVector vector;
    StringHashTable table = {0, NULL};
    MemPool* pool = NULL;
    BriDateTime* when;
    char* text;
    int value = 7;

    InitVector(&vector, CompareText);
    if (AddElementData(&vector, "b") != VELMORA_SUCCESS || AddElementData(&vector, "a") != VELMORA_SUCCESS)
        return 1;
    if (strcmp((const char*)vector.head->data, "a") != 0 || vector.count != 2)
        return 2;
    FreeVector(&vector);

    if (HashInit(&table, 0) != VELMORA_SUCCESS || HashPut(&table, "seq", &value) != VELMORA_SUCCESS)
        return 3;
    if (HashGet(&table, "seq") != &value)
        return 4;
    HashFree(&table);

    if (CompareNoCase("ABC", "abc") != 0)
        return 5;

    if (InitializeMemPool() != VELMORA_SUCCESS || CreateMemPool(&pool, NULL, NULL) != VELMORA_SUCCESS)
        return 6;
    if (PoolStrdup(&text, "pooled", pool) != VELMORA_SUCCESS || strcmp(text, "pooled") != 0)
        return 7;
    DestroyMemPool(pool);
    TerminateMemPool();

    when = CreateBriDateTime(2023, 1, 31, 0, 0, 0);
    if (!when || !AddToBriDateTime(when, 1, BRI_UNIT_DAYS))
        return 8;
    text = BriDateTimeToString(when);
    if (!text || strcmp(text, "2023-02-01 00:00:00") != 0)
        return 9;
    free(text);
    FreeBriDateTime(when);
    return 0;
}
