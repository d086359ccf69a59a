/*
 * The allocation seam: two process-wide hooks, malloc and calloc unless a
 * test installs its own.
 */
#include "velmora/base_alloc.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

namespace {

void* DefaultMalloc(size_t size) { return malloc(size); }
void* DefaultCalloc(size_t count, size_t size) { return calloc(count, size); }

std::atomic<BriMallocHook> g_malloc{DefaultMalloc};
std::atomic<BriCallocHook> g_calloc{DefaultCalloc};

} // namespace

void SetBriAllocHooks(BriMallocHook mallocHook, BriCallocHook callocHook)
{
    g_malloc.store(mallocHook ? mallocHook : DefaultMalloc, std::memory_order_release);
    g_calloc.store(callocHook ? callocHook : DefaultCalloc, std::memory_order_release);
}

void* BriMalloc(size_t size) { return g_malloc.load(std::memory_order_acquire)(size); }

void* BriCalloc(size_t count, size_t size)
{
    if (size != 0 && count > SIZE_MAX / size)
        return nullptr;
    return g_calloc.load(std::memory_order_acquire)(count, size);
}

char* BriStrdup(const char* text)
{
    if (!text)
        return nullptr;
    size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(BriMalloc(size));
    if (copy)
        memcpy(copy, text, size);
    return copy;
}
