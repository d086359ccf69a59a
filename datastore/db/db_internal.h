// Shared inside the database layer only.
#pragma once

#include "runtime/object_lock.h"
#include "velmora/db_provider.h"

namespace db_internal {

// The provider loaded in a slot, or null (also for a slot out of range).
const DBProvider* ProviderInSlot(int32_t slot);

// The key a connection is owned by for the calling thread.
int32_t CurrentThreadKey();

} // namespace db_internal
