/*
 * Data sources through the installer interface (SQLConfigDataSource).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "odbc_api.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/odbc_provider.h"

namespace {

bool IsNullWord(const char* value)
{
    if (!value)
        return true;
    static const char kNull[] = "NULL";
    for (size_t i = 0; i < 5; i++) {
        char c = value[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != kNull[i])
            return false;
    }
    return true;
}

/* One line of the file, whole, without its line end; false at the end. */
bool ReadLine(FILE* file, std::string& line)
{
    line.clear();
    int c;
    bool any = false;
    while ((c = fgetc(file)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any;
}

/* The next blank-separated word of line from pos on; empty at the end. */
std::string NextWord(const std::string& line, size_t& pos)
{
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
        pos++;
    size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t')
        pos++;
    return line.substr(start, pos - start);
}

} // namespace

extern "C" int CreateDSN(const char* dsn, const char* description, const char* server, const char* userId,
                         const char* password, const char* database, const char* driver)
{
    if (!driver || !dsn) {
        LogError("DriverName or DSN name is NULL \n");
        return VELMORA_FAILURE;
    }
    const char* names[] = {"DSN", "DESCRIPTION", "SERVER", "UID", "PWD", "DATABASE"};
    const char* values[] = {dsn, description, server, userId, password, database};
    // The installer reads "key=value" pairs split at ';' (the string ends
    // with a second 0): a value holding either could add attributes.
    std::string attributes;
    for (size_t i = 0; i < 6; i++) {
        if (IsNullWord(values[i]))
            continue;
        if (strpbrk(values[i], ";=")) {
            LogError("Attribute %s holds ';' or '='\n", names[i]);
            return VELMORA_FAILURE;
        }
        attributes += names[i];
        attributes += '=';
        attributes += values[i];
        attributes += ';';
    }
    auto* dsnStr = static_cast<char*>(BriMalloc(attributes.size() + 2));
    if (!dsnStr) {
        LogError("Unable to Allocate and copy dsnStr \n");
        return VELMORA_ALLOC_FAILURE;
    }
    memcpy(dsnStr, attributes.c_str(), attributes.size() + 1);
    dsnStr[attributes.size() + 1] = '\0';
    BOOL created = SQLConfigDataSource(nullptr, ODBC_ADD_DSN, driver, dsnStr);
    free(dsnStr);
    if (!created) {
        LogError("SQLConfigDataSource returned FALSE \n");
        DWORD code = 0;
        char message[SQL_MAX_MESSAGE_LENGTH] = {0};
        WORD messageLength = 0;
        if (SQLInstallerError(1, &code, message, sizeof(message), &messageLength) == SQL_SUCCESS)
            LogError("MSG: %s\n", message);
        return VELMORA_FAILURE;
    }
    return VELMORA_SUCCESS;
}

extern "C" int CreateDSNFromFile(const char* path)
{
    FILE* file = path ? fopen(path, "r") : nullptr;
    if (!file) {
        LogError("Error opening File %s \n", path ? path : "(null)");
        return VELMORA_FAILURE;
    }
    std::string line;
    while (ReadLine(file, line)) {
        size_t pos = 0;
        std::vector<std::string> words;
        for (int i = 0; i < 6; i++)
            words.push_back(NextWord(line, pos));
        if (words[0].empty())
            continue; // a blank line
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            pos++;
        std::string driver = line.substr(pos);
        if (words[5].empty() || driver.empty() ||
            CreateDSN(words[0].c_str(), words[1].c_str(), words[2].c_str(), words[3].c_str(), words[4].c_str(),
                      words[5].c_str(), driver.c_str()) != VELMORA_SUCCESS)
            LogError("Creating DSN %s Failed\n", words[0].c_str());
    }
    fclose(file);
    return VELMORA_SUCCESS;
}
