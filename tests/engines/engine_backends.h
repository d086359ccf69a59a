// Inside the engine client: one connect/create/drop per engine, each in the
// file of its client library. Given facts that ReadEngineFacts read.
#pragma once

#include "engine_client.h"

namespace tw::engines::detail {

#define TW_ENGINE_BACKEND(prefix)                                                                                      \
    std::unique_ptr<Connection> prefix##Connect(const EngineFacts& facts, const std::string& name,                     \
                                                std::string* error);                                                   \
    bool prefix##Create(const EngineFacts& facts, const std::string& name, std::string* error);                        \
    bool prefix##Drop(const EngineFacts& facts, const std::string& name, std::string* error);

TW_ENGINE_BACKEND(Sqlite)
TW_ENGINE_BACKEND(Postgresql)
TW_ENGINE_BACKEND(Mariadb)
TW_ENGINE_BACKEND(Firebird)

#undef TW_ENGINE_BACKEND

// DATA_DIR/name + suffix: the file of a database for the file-based engines.
std::string DatabaseFile(const EngineFacts& facts, const std::string& name, const char* suffix);

} // namespace tw::engines::detail
