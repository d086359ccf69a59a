/*
 * Change notifications: listeners that hear, synchronously, of every row
 * that is added, updated or deleted in an in-memory table.
 *
 * A listener watches a list of table names (case-insensitive) and either
 * every change (event type 0) or one kind, named by a row state flag
 * (ROW_STATE_NEW, _UPDATED, _DELETED, _STORED of velmora/table_data.h):
 * a row whose flags are the event type, possibly with DELETED, UPDATED or
 * STORED added, reaches it.
 *
 * Each call receives a snapshot of the row that lives only for the
 * duration of the calls: a listener copies whatever it keeps.
 *
 * Callbacks run on the thread that changed the row, inside the table
 * operation, while that thread holds the listeners' lock. A callback may
 * read and change other tables (their notifications are delivered at
 * once, in turn) and may disable listeners; it must not change the table
 * it is told about, and it must not add or remove listeners (those calls
 * fail when made from a callback).
 */
#ifndef VELMORA_NOTIFICATIONS_H
#define VELMORA_NOTIFICATIONS_H

#include <stdint.h>

#include "velmora/bri_datetime.h"
#include "velmora/lcd_vector.h"
#include "velmora/result.h"
#include "velmora/table_data.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What a listener receives. */
typedef struct IMDSNotification {
    char* tableName;     /* copy of the table name */
    RowObject* row;      /* copies of every value and length, the state; no next row */
    BriDateTime* time;   /* local time of the change */
    int32_t columnCount; /* number of values in row */
} IMDSNotification;

typedef void (*NotificationCallback)(const IMDSNotification* notification, const char* listenerName);

typedef struct NotificationListener {
    char* name;        /* adopted heap string */
    char** tableNames; /* adopted null-terminated array of heap strings, sorted */
    uint8_t enabled;
    uint8_t eventType; /* 0: every change; else a ROW_STATE_* flag */
    NotificationCallback callback;
} NotificationListener;

/* The listeners, in registration order. A zeroed vector is empty. */
extern LCDVector gv_listeners;

/* Registers a listener. On success the library owns name and tableNames
 * (a null-terminated array of heap strings, sorted here in place,
 * case-insensitively): when a listener of that name is registered already
 * ("Listener with same name exists %s\n"), nothing is added, both are
 * freed at once and the result is still 1. 0 for a null name, table list
 * or callback, or a call from a callback; 99 on allocation failure (the
 * arguments then stay the caller's). */
int AddNotificationListener(char* name, uint8_t eventType, NotificationCallback callback, uint8_t enabled,
                            char** tableNames);
/* Clears the listener's enabled flag; there is no way to enable it again.
 * 1; 0 for an unknown name. */
int DisableNotificationListener(const char* name);
/* Unregisters and frees the listener (name, table names, record). 1; 0
 * for an unknown name or a call from a callback. */
int RemoveNotificationListener(const char* name);
/* Removes every listener. */
void DeInitNotification(void);

/* Tells every interested listener that row of tableName changed. Nothing
 * happens without listeners or when the snapshot cannot be made. */
void SendNotification(const RowObject* row, const char* tableName);

/* A snapshot of row for the listeners; null when the table is not found,
 * for a null row and on allocation failure. FreeIMDSNotification frees it
 * whole. */
IMDSNotification* CreateIMDSNotification(const RowObject* row, const char* tableName);
void FreeIMDSNotification(IMDSNotification* notification);

/* 1 when name is in the null-terminated, case-insensitively sorted list
 * (binary search); else 0 and the debug line "List doesn't contains key \n". */
int IsListContains(char* const* sortedNames, const char* name);

#ifdef __cplusplus
}
#endif
#endif
