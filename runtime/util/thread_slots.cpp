/* Worker-thread slots. */
#include "runtime/thread_slots.h"

#include "runtime/log.h"

namespace {

/* The state is shared by the worker and its dispatcher without a lock, so it
 * is read and written as a whole, ordered with the work it announces. */
signed char LoadState(const ThreadSlot* slot) { return __atomic_load_n(&slot->state, __ATOMIC_ACQUIRE); }
void StoreState(ThreadSlot* slot, signed char state) { __atomic_store_n(&slot->state, state, __ATOMIC_RELEASE); }

} // namespace

void InitThreadInfo(void) { LogTrace("\n\t@@@@@ Inside InitThreadInfo() @@@@@\n"); }

void ResetThreadSlots(ThreadSlot* slots, uint16_t count)
{
    for (uint16_t i = 0; slots && i < count; ++i)
        StoreState(&slots[i], THREAD_SLOT_FREE);
}

void ReleaseThreadSlots(ThreadSlot* slots, uint16_t count)
{
    for (uint16_t i = 0; slots && i < count; ++i) {
        if (LoadState(&slots[i]) == THREAD_SLOT_FREE)
            continue;
        StoreState(&slots[i], THREAD_SLOT_FREE);
        PlatThreadClose(slots[i].thread);
        slots[i].thread = nullptr;
    }
}

PlatThread* CreateNewThread(ThreadStartRoutine routine, void* argument)
{
    LogTrace("\n\t@@@@@ Inside CreateNewThread() @@@@@\n");
    PlatThread* thread = PlatThreadStart(routine, argument);
    if (!thread)
        LogDebug("Unable to create Thread\n");
    return thread;
}

int CheckThreadPool(const ThreadSlot* slots, uint16_t count, uint16_t* index, uint16_t maximum)
{
    LogTrace("\n\t@@@@@ Inside CheckThreadPool() @@@@@\n");
    for (uint16_t i = 0; slots && i < count; ++i) {
        if (LoadState(&slots[i]) == THREAD_SLOT_IDLE) {
            if (index)
                *index = i;
            return THREAD_POOL_IDLE_SLOT;
        }
    }
    return count < maximum ? THREAD_POOL_CAN_GROW : THREAD_POOL_FULL;
}

void ParkThreadSlot(ThreadSlot* slot)
{
    if (!slot)
        return;
    StoreState(slot, THREAD_SLOT_IDLE);
    PlatThreadPark();
    StoreState(slot, THREAD_SLOT_BUSY);
}

void WakeThreadSlot(ThreadSlot* slot)
{
    if (!slot)
        return;
    StoreState(slot, THREAD_SLOT_BUSY);
    PlatThreadWake(slot->thread);
}
