/*
 * Velmora's whole C API in one include: an embedder includes this file and
 * links twagent::velmora_objects (or, with pkg-config, `velmora`).
 *
 * It lives with the topmost data-store library, which links every layer
 * below it.
 */
#ifndef VELMORA_VELMORA_H
#define VELMORA_VELMORA_H

/* Lists, hash table, strings, pools, dates, result codes. */
#include "velmora/base.h"

/* Column types and values, table definitions, the data dictionary,
 * in-memory tables, change notifications, identifier batches. */
#include "velmora/column_types.h"
#include "velmora/data_dictionary.h"
#include "velmora/notifications.h"
#include "velmora/seq_state.h"
#include "velmora/table_data.h"
#include "velmora/table_defn.h"
#include "velmora/table_xml.h"

/* Condition text and query descriptions. */
#include "velmora/criteria.h"
#include "velmora/select_query.h"

/* SQL in four dialects, the connection files, database result sets. */
#include "velmora/connection_files.h"
#include "velmora/result_set.h"
#include "velmora/sql_dialect.h"
#include "velmora/sql_statements.h"
#include "velmora/text_buffer.h"

/* Database providers, connections and pools; the ODBC provider. */
#include "velmora/db_provider.h"
#include "velmora/odbc_provider.h"
#include "velmora/seq_gen.h"

/* Tables loaded from and saved to their databases; default data. */
#include "velmora/table_persistence.h"

/* Select queries stored as rows of the query tables. */
#include "velmora/stored_query.h"

/* Data objects: related rows of several tables fetched, edited and saved
 * as one. */
#include "velmora/data_object.h"

/* Personalities over data objects; index tables of dominant tables. */
#include "velmora/personality.h"

/* Starting and stopping the store on its data directory. */
#include "velmora/velmora_startup.h"

#endif
