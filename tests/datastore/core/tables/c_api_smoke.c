/* The table, notification and identifier headers compile as C and their
 * routines work from a C program. */
#include <stdlib.h>
#include <string.h>

#include "velmora/notifications.h"
#include "velmora/seq_state.h"
#include "velmora/table_data.h"
#include "velmora/table_xml.h"

static int g_heard;

static void Heard(const IMDSNotification* notification, const char* listener)
{
    (void)listener;
    if (notification->row->state == ROW_STATE_NEW)
        g_heard++;
}

/* 0 when everything behaves; otherwise the number of the failed step. */
int TablesCApiSmoke(void)
{
    LCDVector* columns = CreateVector();
    char** watched = (char**)calloc(2, sizeof(char*));
    void** values = (void**)calloc(1, sizeof(void*));
    int32_t* lengths = (int32_t*)calloc(1, sizeof(int32_t));
    ResultData* result;
    int failed = 0;

    AddElementData(columns, CreateColumnDefn("id", BRI_SQL_INT, NULL, 0, 0, "C_SEQ", NULL, 0, 1, NULL));
    AddTableDefn(CreateTableDefn("CTable", NULL, columns, NULL));
    InitSeqState();
    StoreSeqBatch("C_SEQ", 10, 20);
    watched[0] = (char*)malloc(7);
    strcpy(watched[0], "ctable");
    AddNotificationListener(strcpy((char*)malloc(2), "c"), 0, Heard, 1, watched);

    if (CreateTable("CTable") != VELMORA_SUCCESS)
        failed = 1;
    else if (AddNewRow("CTable", CreateNewRowObject(values, lengths)) != VELMORA_SUCCESS)
        failed = 2;
    else if (g_heard != 1)
        failed = 3;
    else if ((result = SelectRows("CTable", "id = 10")) == NULL || result->rowCount != 1)
        failed = 4;
    else
        FreeResultData(result);

    DeInitNotification();
    FreeAllTableData();
    FreeSeqState();
    FreeTableDefns();
    return failed;
}
