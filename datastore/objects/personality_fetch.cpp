/*
 * Fetching the data object of a personality.
 */
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "personality_internal.h"
#include "personality_roots.h"
#include "runtime/log.h"
#include "velmora/personality.h"

namespace velmora_objects {

namespace {

constexpr size_t kMaxChain = 64;

void Follow(const char* table, const char* column, const std::string& localColumn, std::vector<std::string>& path,
            std::vector<RootColumn>& roots)
{
    TableDefn* definition = GetTableDefnByName(table);
    if (!definition) {
        LogError("No table definition found for %s\n", table);
        return;
    }
    bool followed = false;
    LCDVector* keys = definition->constraints ? definition->constraints->foreignKeys : nullptr;
    for (LCDNode* node = keys ? keys->head : nullptr; node; node = node->next) {
        auto* key = static_cast<ForeignKeyDefn*>(node->data);
        if (column && std::strcmp(key->localColumn, column) != 0)
            continue;
        bool onPath = false;
        for (const std::string& seen : path)
            onPath = onPath || strcasecmp(seen.c_str(), key->referenceTable) == 0;
        if (onPath || path.size() >= kMaxChain)
            continue; // a cycle or a runaway chain ends here
        followed = true;
        path.emplace_back(definition->name);
        Follow(key->referenceTable, key->referenceColumn, column ? localColumn : key->localColumn, path, roots);
        path.pop_back();
    }
    if (!followed && column)
        roots.push_back({definition->name, column, localColumn});
}

} // namespace

std::vector<RootColumn> FindRootTable(const char* table, const char* column)
{
    LogTrace("@@@ Inside FindRootTable @@@\n");
    std::vector<RootColumn> roots;
    std::vector<std::string> path;
    if (table)
        Follow(table, column, column ? column : "", path, roots);
    return roots;
}

} // namespace velmora_objects

using namespace velmora_objects;

namespace {

using VectorHolder = std::unique_ptr<LCDVector, void (*)(LCDVector*)>;

VectorHolder NewList()
{
    return VectorHolder(CreateVector(), [](LCDVector* v) {
        if (v) {
            FreeVector(v);
            std::free(v);
        }
    });
}

PersonalityDefn* FindPersonality(const char* name)
{
    if (!name) {
        LogError("Cannot get Personality.  personalityName is NULL\n");
        return nullptr;
    }
    for (LCDNode* node = gv_personalityDefnVect ? gv_personalityDefnVect->head : nullptr; node; node = node->next) {
        auto* personality = static_cast<PersonalityDefn*>(node->data);
        if (std::strcmp(personality->personalityName, name) == 0)
            return personality;
    }
    LogError("No personality found for %s\n", name);
    return nullptr;
}

// The dominant table followed by the constituents (texts owned by the
// personality).
VectorHolder TableList(const PersonalityDefn* personality)
{
    VectorHolder list = NewList();
    if (!list || AddElementData(list.get(), personality->dominantTable) != VELMORA_SUCCESS)
        return VectorHolder(nullptr, nullptr);
    for (LCDNode* node = personality->constituentTables->head; node; node = node->next)
        if (AddElementData(list.get(), static_cast<ConstituentTable*>(node->data)->table) != VELMORA_SUCCESS)
            return VectorHolder(nullptr, nullptr);
    return list;
}

// A one-column list for a join.
LCDVector* JoinColumns(SelectQuery* query, const char* table, const char* column)
{
    LCDVector* list = CreateColumnList(query->pool);
    QueryColumn* made = CreateListColumn(table, nullptr, column, nullptr, 0, BRI_SQL_INT, 0, query->pool);
    return list && made && AddListColumn(query->pool, made, list) ? list : nullptr;
}

// The join of constituent to the tables joined so far: on the chain that
// ends at the dominant key when there is one, else on its foreign key to a
// table already joined. false when neither exists (the table is left out,
// with a line) or memory ran out.
bool JoinConstituent(SelectQuery* query, const PersonalityDefn* personality, const char* constituent,
                     std::vector<std::string>& joined)
{
    std::vector<const ColumnDefn*> keys = GetPKColumnInfo(personality->dominantTable);
    if (keys.size() == 1) {
        for (const RootColumn& root : FindRootTable(constituent, nullptr)) {
            if (std::strcmp(root.table.c_str(), personality->dominantTable) != 0 ||
                std::strcmp(root.column.c_str(), keys[0]->name) != 0)
                continue;
            LCDVector* base = JoinColumns(query, personality->dominantTable, keys[0]->name);
            LCDVector* reference = JoinColumns(query, constituent, root.localColumn.c_str());
            if (!base || !reference ||
                !AddJoinToQuery(query, personality->dominantTable, nullptr, constituent, nullptr, QUERY_LEFT_JOIN, base,
                                reference))
                return false;
            joined.emplace_back(constituent);
            return true;
        }
    }
    TableDefn* definition = GetTableDefnByName(constituent);
    LCDVector* foreignKeys = definition && definition->constraints ? definition->constraints->foreignKeys : nullptr;
    for (LCDNode* node = foreignKeys ? foreignKeys->head : nullptr; node; node = node->next) {
        auto* key = static_cast<ForeignKeyDefn*>(node->data);
        for (const std::string& parent : joined) {
            if (strcasecmp(parent.c_str(), key->referenceTable) != 0)
                continue;
            LCDVector* base = JoinColumns(query, parent.c_str(), key->referenceColumn);
            LCDVector* reference = JoinColumns(query, constituent, key->localColumn);
            if (!base || !reference ||
                !AddJoinToQuery(query, parent.c_str(), nullptr, constituent, nullptr, QUERY_LEFT_JOIN, base, reference))
                return false;
            joined.emplace_back(constituent);
            return true;
        }
    }
    LogError("Constituent table %s of personality %s leads to no table before it; left out\n", constituent,
             personality->personalityName);
    return true;
}

using Fetch = DataObject* (*)(const char* name, const void* argument);

DataObject* Merged(const char* const* names, Fetch fetch, const void* argument)
{
    if (!names) {
        LogError("Cannot get Personality.  personalityName is NULL\n");
        return nullptr;
    }
    DataObject* target = CreateDataObject();
    for (const char* const* name = names; target && *name; name++) {
        DataObject* source = fetch(*name, argument);
        if (!source)
            continue;
        DataObject* merged = MergeDataObject(target, source);
        FreeDataObject(source);
        if (!merged) {
            LogError("Cannot Merge DO's.\n");
            FreeDataObject(target);
            return nullptr;
        }
    }
    return target;
}

// The personality's tables joined along their foreign-key chains to the
// dominant table, with an optional condition of the caller's. The condition
// belongs to the caller, so the object's query forgets it after the fetch.
DataObject* FetchPersonality(const char* name, const QueryCondition* condition)
{
    PersonalityDefn* personality = FindPersonality(name);
    if (!personality)
        return nullptr;
    SelectQuery* query = CreateSelectQuery();
    if (!query)
        return nullptr;
    std::vector<std::string> joined = {personality->dominantTable};
    bool ok = true;
    for (LCDNode* node = personality->constituentTables->head; ok && node; node = node->next)
        ok = JoinConstituent(query, personality, static_cast<ConstituentTable*>(node->data)->table, joined);
    // Without any join the dominant table is listed on its own.
    if (ok && query->joins->count == 0)
        ok = AddQueryTable(query, CreateQueryTable(personality->dominantTable, nullptr, query->pool));
    if (ok && condition)
        SetCriteria(query, const_cast<QueryCondition*>(condition));
    DataObject* object = ok ? GetDataObject(query) : nullptr;
    query->criteria = nullptr;
    if (!object) {
        FreeSelectQuery(query);
        LogError("Cannot get DO for personality %s\n", name);
        return nullptr;
    }
    if (object->query == query)
        object->ownsQuery = 1;
    else
        FreeSelectQuery(query);
    return object;
}

} // namespace

extern "C" {

DataObject* GetDOFromPersonality(const char* name)
{
    LogTrace("@@@ Inside GetDOFromPersonality @@@\n");
    return FetchPersonality(name, nullptr);
}

DataObject* GetDOFromPersonalityByRowUnit(const char* name, const RowUnit* rowUnit)
{
    PersonalityDefn* personality = FindPersonality(name);
    if (!personality)
        return nullptr;
    VectorHolder tables = TableList(personality);
    return tables ? GetDataObjectByRowUnit(tables.get(), rowUnit) : nullptr;
}

DataObject* GetDOFromPersonalityByCriteria(const char* name, const QueryCondition* condition)
{
    // Over the plain table list (a cross product) a condition on the
    // dominant table would bring every row of the other tables into the
    // object; joined along the personality's chains it brings the rows that
    // belong to the rows it selects.
    return FetchPersonality(name, condition);
}

DataObject* GetDOFromPersonalities(const char* const* names)
{
    return Merged(
        names, [](const char* name, const void*) { return GetDOFromPersonality(name); }, nullptr);
}

DataObject* GetDOFromPersonalitiesByRowUnit(const char* const* names, const RowUnit* rowUnit)
{
    return Merged(
        names,
        [](const char* name, const void* row) {
            return GetDOFromPersonalityByRowUnit(name, static_cast<const RowUnit*>(row));
        },
        rowUnit);
}

DataObject* GetDOFromPersonalitiesByCriteria(const char* const* names, const QueryCondition* condition)
{
    return Merged(
        names,
        [](const char* name, const void* criteria) {
            return GetDOFromPersonalityByCriteria(name, static_cast<const QueryCondition*>(criteria));
        },
        condition);
}

} // extern "C"
