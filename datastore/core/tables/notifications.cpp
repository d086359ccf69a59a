/*
 * Change notifications.
 *
 * The listener list is guarded by the object lock keyed on &gv_listeners,
 * held while a notification is delivered. A callback may change another
 * table, which delivers that change at once on the same thread: a
 * per-thread depth count lets the nested delivery run under the lock the
 * thread already holds (the object lock is not re-entrant). Adding and
 * removing listeners from inside a callback would change the list under
 * the delivery loop and is refused.
 */
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "runtime/log.h"
#include "runtime/object_lock.h"
#include "velmora/base_alloc.h"
#include "velmora/notifications.h"
#include "velmora/string_routines.h"

LCDVector gv_listeners = {nullptr, 0, nullptr, nullptr};

namespace {

thread_local int t_deliveryDepth = 0;

/* The number of registered listeners, kept beside the list so that a
 * change without listeners (the common case) costs no lock. */
std::atomic<int32_t> g_listenerCount{0};

void LockListeners()
{
    if (t_deliveryDepth == 0)
        LockObject(&gv_listeners);
}

void UnlockListeners()
{
    if (t_deliveryDepth == 0)
        UnlockObject(&gv_listeners);
}

NotificationListener* FindListener(const char* name, LCDNode** previous)
{
    LCDNode* before = nullptr;
    for (LCDNode* node = gv_listeners.head; node; before = node, node = node->next) {
        auto* listener = static_cast<NotificationListener*>(node->data);
        if (listener && CompareNoCase(listener->name, name) == 0) {
            if (previous)
                *previous = before;
            return listener;
        }
    }
    return nullptr;
}

void FreeStrings(char** strings)
{
    if (!strings)
        return;
    for (char** s = strings; *s; s++)
        free(*s);
    free(strings);
}

void FreeListener(NotificationListener* listener)
{
    free(listener->name);
    FreeStrings(listener->tableNames);
    free(listener);
}

/* Insertion sort, case-insensitive: watched lists are short. */
void SortNames(char** names)
{
    if (!names[0])
        return; // an empty list: only the terminator
    for (size_t i = 1; names[i]; i++) {
        char* name = names[i];
        size_t j = i;
        while (j > 0 && CompareNoCase(names[j - 1], name) > 0) {
            names[j] = names[j - 1];
            j--;
        }
        names[j] = name;
    }
}

/* Whether a row with these state flags reaches a listener of eventType. */
bool WantsEvent(uint8_t eventType, uint8_t state)
{
    if (eventType == 0)
        return true;
    return state == eventType || state == (eventType | ROW_STATE_DELETED) || state == (eventType | ROW_STATE_UPDATED) ||
        state == (eventType | ROW_STATE_STORED);
}

} // namespace

extern "C" int IsListContains(char* const* sortedNames, const char* name)
{
    if (sortedNames && name) {
        int32_t count = 0;
        while (sortedNames[count] && count < INT32_MAX)
            count++;
        int32_t lo = 1, hi = count;
        while (hi >= lo) {
            int32_t mid = lo + (hi - lo) / 2;
            int order = CompareNoCase(sortedNames[mid - 1], name);
            if (order == 0)
                return 1;
            if (order > 0)
                hi = mid - 1;
            else
                lo = mid + 1;
        }
    }
    LogDebug("List doesn't contains key \n");
    return 0;
}

extern "C" int AddNotificationListener(char* name, uint8_t eventType, NotificationCallback callback, uint8_t enabled,
                                       char** tableNames)
{
    LogTrace("In Add notification Listener\n");
    if (!name || !tableNames || !callback)
        return VELMORA_FAILURE;
    if (t_deliveryDepth > 0) {
        LogError("AddNotificationListener : called from a listener\n");
        return VELMORA_FAILURE;
    }
    auto* listener = static_cast<NotificationListener*>(BriCalloc(1, sizeof(NotificationListener)));
    if (!listener) {
        LogError("Buffer Allocation is failed for listener!!!\n");
        return VELMORA_ALLOC_FAILURE;
    }
    auto* node = static_cast<LCDNode*>(BriCalloc(1, sizeof(LCDNode)));
    if (!node) {
        LogError("Buffer allocation is failed for nodePtr !!!\n");
        free(listener);
        return VELMORA_ALLOC_FAILURE;
    }
    LockObject(&gv_listeners);
    if (FindListener(name, nullptr)) {
        UnlockObject(&gv_listeners);
        LogError("Listener with same name exists %s\n", name);
        free(node);
        free(listener);
        free(name);
        FreeStrings(tableNames);
        return VELMORA_SUCCESS;
    }
    SortNames(tableNames);
    listener->name = name;
    listener->tableNames = tableNames;
    listener->enabled = enabled;
    listener->eventType = eventType;
    listener->callback = callback;
    node->data = listener;
    if (gv_listeners.head && gv_listeners.tail)
        gv_listeners.tail->next = node;
    else
        gv_listeners.head = node;
    gv_listeners.tail = node;
    gv_listeners.count++;
    g_listenerCount.store(gv_listeners.count);
    UnlockObject(&gv_listeners);
    LogDebug("Listener with name %s added\n", listener->name);
    return VELMORA_SUCCESS;
}

extern "C" int DisableNotificationListener(const char* name)
{
    LogTrace("In Disable notification\n");
    if (!name)
        return VELMORA_FAILURE;
    LockListeners();
    NotificationListener* listener = FindListener(name, nullptr);
    if (listener)
        listener->enabled = 0;
    UnlockListeners();
    if (!listener) {
        LogError("Listener with name %s doesn't exists\n", name);
        return VELMORA_FAILURE;
    }
    LogDebug("Listener with name %s disabled\n", name);
    return VELMORA_SUCCESS;
}

extern "C" int RemoveNotificationListener(const char* name)
{
    LogTrace("In Remove notification\n");
    if (!name)
        return VELMORA_FAILURE;
    if (t_deliveryDepth > 0) {
        LogError("RemoveNotificationListener : called from a listener\n");
        return VELMORA_FAILURE;
    }
    LockObject(&gv_listeners);
    LCDNode* previous = nullptr;
    NotificationListener* listener = FindListener(name, &previous);
    LCDNode* node = nullptr;
    if (listener) {
        node = previous ? previous->next : gv_listeners.head;
        if (previous)
            previous->next = node->next;
        else
            gv_listeners.head = node->next;
        if (gv_listeners.tail == node)
            gv_listeners.tail = previous;
        gv_listeners.count--;
        g_listenerCount.store(gv_listeners.count);
    }
    UnlockObject(&gv_listeners);
    if (!listener) {
        LogError("Listener with name %s doesn't exists\n", name);
        return VELMORA_FAILURE;
    }
    LogDebug("Listener with name %s removed\n", listener->name);
    free(node);
    FreeListener(listener);
    return VELMORA_SUCCESS;
}

extern "C" void DeInitNotification(void)
{
    LogTrace("In DeInit notification\n");
    if (t_deliveryDepth > 0)
        return;
    LockObject(&gv_listeners);
    LCDNode* node = gv_listeners.head;
    gv_listeners.head = gv_listeners.tail = nullptr;
    gv_listeners.count = 0;
    g_listenerCount.store(0);
    UnlockObject(&gv_listeners);
    while (node) {
        LCDNode* next = node->next;
        auto* listener = static_cast<NotificationListener*>(node->data);
        LogTrace("Listener with name %s removed\n", listener->name);
        FreeListener(listener);
        free(node);
        node = next;
    }
}

extern "C" IMDSNotification* CreateIMDSNotification(const RowObject* row, const char* tableName)
{
    LogTrace("In CreateIMDSNotification \n");
    if (!row || !tableName)
        return nullptr;
    TableData* table = GetTableDataByName(tableName);
    if (!table)
        return nullptr;
    int32_t columns = table->columnCount > 0 ? table->columnCount : 0;
    auto* notification = static_cast<IMDSNotification*>(BriCalloc(1, sizeof(IMDSNotification)));
    if (!notification)
        return nullptr;
    notification->columnCount = columns;
    notification->tableName = BriStrdup(tableName);
    notification->row = static_cast<RowObject*>(BriCalloc(1, sizeof(RowObject)));
    notification->time = GetCurrentBriDateTime();
    bool ok = notification->tableName && notification->row && notification->time;
    if (ok) {
        RowObject* copy = notification->row;
        copy->state = row->state;
        copy->values = static_cast<void**>(BriCalloc(columns ? columns : 1, sizeof(void*)));
        copy->lengths = static_cast<int32_t*>(BriCalloc(columns ? columns : 1, sizeof(int32_t)));
        ok = copy->values && copy->lengths;
        for (int32_t i = 0; ok && i < columns; i++) {
            copy->lengths[i] = row->lengths[i];
            if (!row->values[i])
                continue;
            int32_t length = row->lengths[i] < 0 ? 0 : row->lengths[i];
            auto* value = static_cast<unsigned char*>(BriMalloc(static_cast<size_t>(length) + 1));
            if (!value) {
                ok = false;
                break;
            }
            memcpy(value, row->values[i], static_cast<size_t>(length));
            value[length] = 0;
            copy->values[i] = value;
        }
    }
    if (!ok) {
        FreeIMDSNotification(notification);
        return nullptr;
    }
    return notification;
}

extern "C" void FreeIMDSNotification(IMDSNotification* notification)
{
    if (!notification)
        return;
    free(notification->tableName);
    if (notification->row) {
        if (notification->row->values) {
            for (int32_t i = 0; i < notification->columnCount; i++)
                free(notification->row->values[i]);
            free(notification->row->values);
        }
        free(notification->row->lengths);
        free(notification->row);
    }
    FreeBriDateTime(notification->time);
    free(notification);
}

extern "C" void SendNotification(const RowObject* row, const char* tableName)
{
    LogTrace("In send notification\n");
    if (!row || !tableName || g_listenerCount.load() == 0)
        return;
    IMDSNotification* notification = CreateIMDSNotification(row, tableName);
    if (!notification)
        return;
    LockListeners();
    t_deliveryDepth++;
    for (LCDNode* node = gv_listeners.head; node; node = node->next) {
        auto* listener = static_cast<NotificationListener*>(node->data);
        if (!listener->enabled) {
            LogDebug("Listener %s  disabled\n", listener->name);
            continue;
        }
        if (!IsListContains(listener->tableNames, tableName)) {
            LogDebug("Listener not registered for %s table\n", tableName);
            continue;
        }
        if (!WantsEvent(listener->eventType, row->state)) {
            LogDebug("Listener not registered for Eventype %d\n", row->state);
            continue;
        }
        listener->callback(notification, listener->name);
    }
    t_deliveryDepth--;
    UnlockListeners();
    FreeIMDSNotification(notification);
}
