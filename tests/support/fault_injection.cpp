#include "fault_injection.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>

#include "velmora/base_alloc.h"

namespace {

std::atomic<long> g_calls{0};
std::atomic<long> g_failAt{0};
std::atomic<bool> g_fired{false};

bool ShouldFail()
{
    long call = ++g_calls;
    if (call == g_failAt.load()) {
        g_fired = true;
        return true;
    }
    return false;
}

void* FailingMalloc(size_t size) { return ShouldFail() ? nullptr : malloc(size); }
void* FailingCalloc(size_t count, size_t size) { return ShouldFail() ? nullptr : calloc(count, size); }

} // namespace

FailingAllocations::FailingAllocations(long failAt)
{
    g_calls = 0;
    g_fired = false;
    g_failAt = failAt;
    SetBriAllocHooks(FailingMalloc, FailingCalloc);
}

FailingAllocations::~FailingAllocations()
{
    SetBriAllocHooks(nullptr, nullptr);
    g_failAt = 0;
}

bool FailingAllocations::fired() const { return g_fired; }
long FailingAllocations::calls() const { return g_calls; }

long ForEveryAllocationFailure(const std::function<void(long n, bool& fired)>& body)
{
    const long kLimit = 100000;
    for (long n = 1; n < kLimit; n++) {
        bool fired = false;
        body(n, fired);
        if (::testing::Test::HasFatalFailure())
            return -1;
        if (!fired)
            return n - 1;
    }
    ADD_FAILURE() << "the operation kept allocating";
    return -1;
}
