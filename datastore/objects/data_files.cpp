/*
 * Finding and reading the list files of the data directory.
 */
#include "data_files.h"

#include "runtime/log.h"
#include "velmora/table_persistence.h"

namespace velmora_objects {

#ifdef _WIN32
const char kRelativeDataDir[] = "..\\data\\";
#else
const char kRelativeDataDir[] = "../data/";
#endif

std::string RootDataPath(const char* name)
{
    if (!gv_velmoraRoot)
        return std::string();
    return std::string(gv_velmoraRoot) + "/data/" + name;
}

DataFile OpenDataFile(const char* fileName, bool tryRelative)
{
    DataFile found;
    if (tryRelative) {
        found.file.reset(fopen((std::string(kRelativeDataDir) + fileName).c_str(), "rb"));
        if (found.file) {
            found.relative = true;
            return found;
        }
    }
    std::string path = RootDataPath(fileName);
    if (path.empty())
        return found;
    LogDebug("Opening %s\n", path.c_str());
    found.file.reset(fopen(path.c_str(), "rb"));
    return found;
}

bool LineReader::Next(std::string& line)
{
    for (;;) {
        line.clear();
        bool tooLong = false;
        bool holdsNul = false;
        int c;
        bool any = false;
        while ((c = getc(file_)) != EOF && c != '\n') {
            any = true;
            if (c == '\0')
                holdsNul = true;
            if (line.size() <= TABLE_LIST_LINE_MAX)
                line.push_back(static_cast<char>(c));
            else
                tooLong = true;
        }
        if (c == EOF && !any)
            return false;
        number_++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > TABLE_LIST_LINE_MAX)
            tooLong = true;
        if (tooLong) {
            LogError("Line %ld of %s is longer than %d characters; it is skipped.\n", number_, fileName_,
                     TABLE_LIST_LINE_MAX);
            continue;
        }
        if (holdsNul) {
            LogError("Line %ld of %s holds a NUL byte; it is skipped.\n", number_, fileName_);
            continue;
        }
        return true;
    }
}

} // namespace velmora_objects
