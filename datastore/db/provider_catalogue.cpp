// The provider catalogue and the two provider slots.
//
// The catalogue lists every provider table the library knows; a slot holds
// a provider loaded for use. Connections dispatch through their slot on
// every statement, so slots are read without a lock (atomically) and only
// loading and unloading take the catalogue's mutex.
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/thread.h"
#include "runtime/log.h"
#include "velmora/db_provider.h"
#include "db_internal.h"

#if __has_include("velmora/odbc_provider.h")
#include "velmora/odbc_provider.h"
#define VELMORA_HAS_ODBC_PROVIDER 1
#endif

extern "C" {
const DBProvider* gv_providerSlots[DB_PROVIDER_SLOT_COUNT] = {nullptr, nullptr};
}

namespace {

PlatGlobalMutex g_catalogueMutex;
std::vector<const DBProvider*> g_catalogue;

std::atomic_ref<const DBProvider*> Slot(int index)
{
    return std::atomic_ref<const DBProvider*>(gv_providerSlots[index]);
}

const DBProvider* FindLocked(const char* name)
{
    for (const DBProvider* provider : g_catalogue)
        if (provider->name != nullptr && strcmp(provider->name, name) == 0)
            return provider;
    return nullptr;
}

// SetDSNMapValid(0, type) makes a type the default: load the provider
// registered under the type's name.
int LoadProviderOfDBType(const char* databaseType) { return LoadDBProvider(databaseType); }

} // namespace

const DBProvider* db_internal::ProviderInSlot(int32_t slot)
{
    if (slot < 0 || slot >= DB_PROVIDER_SLOT_COUNT)
        return nullptr;
    return Slot(slot).load(std::memory_order_acquire);
}

extern "C" int RegisterDBProvider(const DBProvider* provider)
{
    if (provider == nullptr || provider->version != DB_PROVIDER_VERSION || provider->name == nullptr)
        return VELMORA_FAILURE;
    std::lock_guard<PlatGlobalMutex> hold(g_catalogueMutex);
    if (FindLocked(provider->name) != nullptr)
        return VELMORA_FAILURE;
    try {
        g_catalogue.push_back(provider);
    } catch (const std::bad_alloc&) {
        return VELMORA_ALLOC_FAILURE;
    }
    return VELMORA_SUCCESS;
}

extern "C" const DBProvider* FindDBProvider(const char* name)
{
    if (name == nullptr)
        return nullptr;
    std::lock_guard<PlatGlobalMutex> hold(g_catalogueMutex);
    return FindLocked(name);
}

extern "C" void ClearDBProviders(void)
{
    std::lock_guard<PlatGlobalMutex> hold(g_catalogueMutex);
    for (int i = 0; i < DB_PROVIDER_SLOT_COUNT; i++)
        Slot(i).store(nullptr, std::memory_order_release);
    g_catalogue.clear();
    g_catalogue.shrink_to_fit();
}

extern "C" int LoadDBProvider(const char* name)
{
    if (name == nullptr)
        return VELMORA_FAILURE;
    std::lock_guard<PlatGlobalMutex> hold(g_catalogueMutex);
    const DBProvider* provider = FindLocked(name);
    if (provider == nullptr)
        return VELMORA_FAILURE;
    for (int i = 0; i < DB_PROVIDER_SLOT_COUNT; i++) {
        if (Slot(i).load() == nullptr) {
            Slot(i).store(provider, std::memory_order_release);
            return VELMORA_SUCCESS;
        }
    }
    return VELMORA_FAILURE;
}

extern "C" void UnloadDBProvider(const char* name)
{
    if (name == nullptr)
        return;
    std::lock_guard<PlatGlobalMutex> hold(g_catalogueMutex);
    for (int i = 0; i < DB_PROVIDER_SLOT_COUNT; i++) {
        const DBProvider* provider = Slot(i).load();
        if (provider != nullptr && strcmp(provider->name, name) == 0) {
            Slot(i).store(nullptr, std::memory_order_release);
            return;
        }
    }
}

extern "C" int GetDBProviderIndex(const char* name)
{
    if (name == nullptr)
        return -1;
    for (int i = 0; i < DB_PROVIDER_SLOT_COUNT; i++) {
        const DBProvider* provider = Slot(i).load(std::memory_order_acquire);
        if (provider != nullptr && strcmp(provider->name, name) == 0)
            return i;
    }
    return -1;
}

extern "C" int LoadDefaultDBProvider(void)
{
    LockObject(&gv_connParams);
    const ConnParamsEntry* first =
        gv_connParams.head != nullptr ? static_cast<const ConnParamsEntry*>(gv_connParams.head->data) : nullptr;
    char* providerName = first != nullptr && first->providerName != nullptr ? strdup(first->providerName) : nullptr;
    UnlockObject(&gv_connParams);
    if (first == nullptr) {
        LogError("Cannot Load DB provider.\n");
        return VELMORA_FAILURE;
    }
    int loaded = LoadDBProvider(providerName);
    if (loaded != VELMORA_SUCCESS)
        LogError("Cannot Load %s provider.\n", providerName != nullptr ? providerName : "(null)");
    free(providerName);
    return loaded;
}

extern "C" int InitDBProvider(void)
{
    if (Slot(0).load(std::memory_order_acquire) != nullptr) {
        LogError("InitDBProvider Failed as already initialized\n");
        return VELMORA_FAILURE;
    }
    {
        std::lock_guard<PlatGlobalMutex> hold(g_catalogueMutex);
        for (int i = 0; i < DB_PROVIDER_SLOT_COUNT; i++)
            Slot(i).store(nullptr, std::memory_order_release);
    }
#ifdef VELMORA_HAS_ODBC_PROVIDER
    // Already in the catalogue after an earlier start-up: that is fine.
    RegisterDBProvider(GetODBCProvider());
#endif
    LoadDBProvider("ODBC");
    // No provider is registered under "SQLITE": its slot stays empty.
    LoadDBProvider("SQLITE");
    // Ready the lists; ones that already hold entries are kept, not forgotten.
    if (gv_connParams.count == 0)
        InitVector(&gv_connParams, nullptr);
    if (gv_connPools.count == 0)
        InitVector(&gv_connPools, nullptr);
    SetDSNMapProviderLoader(LoadProviderOfDBType);
    return VELMORA_SUCCESS;
}
