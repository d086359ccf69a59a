#include "engine_client.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "engine_backends.h"

namespace tw::engines {

namespace {

constexpr size_t kMaxDatabaseName = 63; // PostgreSQL's identifier limit, the lowest of the four

uint64_t Fnv1a(std::string_view text)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

bool IsPlainName(std::string_view text)
{
    if (text.empty() || text.size() > kMaxDatabaseName || !(text[0] >= 'a' && text[0] <= 'z'))
        return false;
    for (char c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}

} // namespace

const char* EngineName(Engine engine)
{
    switch (engine) {
    case Engine::sqlite:
        return "sqlite";
    case Engine::postgresql:
        return "postgresql";
    case Engine::mariadb:
        return "mariadb";
    case Engine::firebird:
        return "firebird";
    }
    return "unknown";
}

void PrintTo(Engine engine, std::ostream* out) { *out << EngineName(engine); }

std::optional<Engine> EngineNamed(std::string_view name)
{
    for (Engine engine : AllEngines()) {
        if (name == EngineName(engine))
            return engine;
    }
    return std::nullopt;
}

const std::vector<Engine>& AllEngines()
{
    static const std::vector<Engine> engines = {Engine::sqlite, Engine::postgresql, Engine::mariadb, Engine::firebird};
    return engines;
}

std::string EngineFacts::Get(const std::string& key) const
{
    auto found = values.find(key);
    return found == values.end() ? std::string() : found->second;
}

std::string EngineStateDir()
{
    const char* state = std::getenv("TW_ENGINE_STATE");
    if (state && *state)
        return state;
    return TW_ENGINE_STATE_DIR;
}

bool ReadEngineFacts(Engine engine, EngineFacts* facts, std::string* error)
{
    const std::string state = EngineStateDir();
    const std::string path = state + "/" + EngineName(engine) + ".env";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = std::string(EngineName(engine)) + " is not started: " + path +
            " is missing (CTest starts it through its fixture; by hand: scripts/engines/" + EngineName(engine) +
            ".sh start " + state + ")";
        return false;
    }
    facts->engine = engine;
    facts->values.clear();
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            facts->values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    if (facts->Get("ENGINE") != EngineName(engine)) {
        *error = path + " does not describe " + EngineName(engine);
        return false;
    }
    return true;
}

std::string DatabaseNameFor(std::string_view text)
{
    if (IsPlainName(text))
        return std::string(text);
    // Anything else is mapped to the plain alphabet; the hash of the
    // original keeps texts that map alike (or are cut alike) apart.
    std::string name = "t_";
    for (char c : text) {
        if (c >= 'A' && c <= 'Z')
            name += static_cast<char>(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            name += c;
        else if (name.back() != '_')
            name += '_';
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(text)));
    const size_t room = kMaxDatabaseName - 1 - 16;
    if (name.size() > room)
        name.resize(room);
    if (name.back() != '_')
        name += '_';
    return name + hash;
}

std::string detail::DatabaseFile(const EngineFacts& facts, const std::string& name, const char* suffix)
{
    return facts.Get("DATA_DIR") + "/" + name + suffix;
}

std::string DatabaseLocation(Engine engine, const std::string& name, std::string* error)
{
    EngineFacts facts;
    if (!ReadEngineFacts(engine, &facts, error))
        return {};
    switch (engine) {
    case Engine::sqlite:
        return detail::DatabaseFile(facts, name, ".db");
    case Engine::firebird:
        return detail::DatabaseFile(facts, name, ".fdb");
    case Engine::postgresql:
    case Engine::mariadb:
        break;
    }
    return name;
}

// The facts of a started engine, for a database name every engine takes.
static bool FactsForDatabase(Engine engine, const std::string& name, EngineFacts* facts, std::string* error)
{
    if (!ReadEngineFacts(engine, facts, error))
        return false;
    if (!IsPlainName(name)) {
        *error = "not a plain database name (use DatabaseNameFor): " + name;
        return false;
    }
    return true;
}

bool CreateDatabase(Engine engine, const std::string& name, std::string* error)
{
    EngineFacts facts;
    if (!FactsForDatabase(engine, name, &facts, error))
        return false;
    switch (engine) {
    case Engine::sqlite:
        return detail::SqliteCreate(facts, name, error);
    case Engine::postgresql:
        return detail::PostgresqlCreate(facts, name, error);
    case Engine::mariadb:
        return detail::MariadbCreate(facts, name, error);
    case Engine::firebird:
        return detail::FirebirdCreate(facts, name, error);
    }
    return false;
}

bool DropDatabase(Engine engine, const std::string& name, std::string* error)
{
    EngineFacts facts;
    if (!FactsForDatabase(engine, name, &facts, error))
        return false;
    switch (engine) {
    case Engine::sqlite:
        return detail::SqliteDrop(facts, name, error);
    case Engine::postgresql:
        return detail::PostgresqlDrop(facts, name, error);
    case Engine::mariadb:
        return detail::MariadbDrop(facts, name, error);
    case Engine::firebird:
        return detail::FirebirdDrop(facts, name, error);
    }
    return false;
}

std::unique_ptr<Connection> Connect(Engine engine, const std::string& name, std::string* error)
{
    EngineFacts facts;
    if (!FactsForDatabase(engine, name, &facts, error))
        return nullptr;
    switch (engine) {
    case Engine::sqlite:
        return detail::SqliteConnect(facts, name, error);
    case Engine::postgresql:
        return detail::PostgresqlConnect(facts, name, error);
    case Engine::mariadb:
        return detail::MariadbConnect(facts, name, error);
    case Engine::firebird:
        return detail::FirebirdConnect(facts, name, error);
    }
    return nullptr;
}

std::string QuoteLiteral(Engine engine, std::string_view text)
{
    std::string literal;
    literal.reserve(text.size() + 2);
    literal += '\'';
    for (char c : text) {
        if (c == '\'')
            literal += "''";
        else if (engine == Engine::mariadb && c == '\\')
            literal += "\\\\";
        else if (engine == Engine::mariadb && c == '\0')
            literal += "\\0";
        else
            literal += c;
    }
    literal += '\'';
    return literal;
}

} // namespace tw::engines
