/*
 * The list files of the data directory: where they are found and how their
 * lines are read.
 */
#pragma once

#include <stdio.h>

#include <memory>
#include <string>

namespace velmora_objects {

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

/* The relative data folder, tried before the root ("..\\data\\" on Windows). */
extern const char kRelativeDataDir[];

/* An open list file and where it was found. */
struct DataFile {
    File file;
    bool relative = false; /* found below kRelativeDataDir */
};

/* Opens kRelativeDataDir + fileName when tryRelative, else (or failing
 * that) "<root>/data/<fileName>", logging "Opening %s\n" at debug level
 * for the root-based attempt. file is null when neither opens. */
DataFile OpenDataFile(const char* fileName, bool tryRelative);

/* "<root>/data/<name>"; empty when no root is set. */
std::string RootDataPath(const char* name);

/* Reads lines of at most TABLE_LIST_LINE_MAX characters without their
 * line end ("\n" or "\r\n"; a last line without one is taken as it is). A
 * longer line is skipped whole with an error line naming the file and the
 * line number; so is a line holding a NUL byte. */
class LineReader {
public:
    LineReader(FILE* file, const char* fileName) : file_(file), fileName_(fileName) { }
    /* The next acceptable line into line; false at the end of the file. */
    bool Next(std::string& line);

private:
    FILE* file_;
    const char* fileName_;
    long number_ = 0;
};

} // namespace velmora_objects
