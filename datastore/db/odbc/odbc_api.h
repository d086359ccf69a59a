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

// The length and handle types follow the pointer width on every driver
// manager the store is built for (odbc32 in i686 and x86_64 builds,
// unixODBC without its legacy 64-bit mode); buffers of SQLLEN lengths are
// handed to the driver by address, so a mismatch would corrupt memory.
static_assert(sizeof(SQLLEN) == sizeof(void*) && sizeof(SQLULEN) == sizeof(void*),
              "SQLLEN/SQLULEN are not pointer-sized");
static_assert(sizeof(SQLHANDLE) == sizeof(void*), "SQLHANDLE is not a pointer");
static_assert(sizeof(SQLINTEGER) == 4 && sizeof(SQLSMALLINT) == 2, "ODBC integer types of unexpected size");

namespace velmora_odbc {

inline bool Succeeded(SQLRETURN result) { return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO; }

} // namespace velmora_odbc
