/*
 * The ODBC 3 headers, included in the order both driver managers need:
 * Windows' sql.h expects windows.h first; unixODBC's brings its own types.
 */
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include <sql.h>
#include <sqlext.h>
#include <odbcinst.h>

namespace velmora_odbc {

inline bool Succeeded(SQLRETURN result) { return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO; }

} // namespace velmora_odbc
