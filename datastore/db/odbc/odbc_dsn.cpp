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
    // The installer reads the attributes as "key=value" pairs, each ended
    // by a 0 byte, the list by a second one. A value holding ';' or '=' is
    // refused: a driver's setup would read it as more than one attribute.
    std::string attributes;
    std::vector<std::pair<const char*, const char*>> written;
    for (size_t i = 0; i < 6; i++) {
        if (IsNullWord(values[i]))
            continue;
        if (strpbrk(values[i], ";=") || (i == 0 && strpbrk(values[i], "[]"))) {
            LogError("Attribute %s holds ';' or '='\n", names[i]);
            return VELMORA_FAILURE;
        }
        attributes += names[i];
        attributes += '=';
        attributes += values[i];
        attributes += '\0';
        if (i > 0)
            written.emplace_back(names[i], values[i]);
    }
    auto* dsnStr = static_cast<char*>(BriMalloc(attributes.size() + 1));
    if (!dsnStr) {
        LogError("Unable to Allocate and copy dsnStr \n");
        return VELMORA_ALLOC_FAILURE;
    }
    memcpy(dsnStr, attributes.data(), attributes.size());
    dsnStr[attributes.size()] = '\0';
    BOOL created = SQLConfigDataSource(nullptr, ODBC_ADD_DSN, driver, dsnStr);
    free(dsnStr);
    if (created)
        return VELMORA_SUCCESS;
    // Drivers without a setup routine (most on unixODBC) cannot add a data
    // source themselves: the installer's profile calls write the same
    // entry, the driver's name and the attributes.
    bool writtenByHand = SQLWriteDSNToIni(dsn, driver);
    for (const auto& [name, value] : written)
        writtenByHand = writtenByHand && SQLWritePrivateProfileString(dsn, name, value, "odbc.ini");
    if (writtenByHand)
        return VELMORA_SUCCESS;
    LogError("SQLConfigDataSource returned FALSE \n");
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH] = {0};
    WORD messageLength = 0;
    if (SQLInstallerError(1, &code, message, sizeof(message), &messageLength) == SQL_SUCCESS)
        LogError("MSG: %s\n", message);
    return VELMORA_FAILURE;
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
