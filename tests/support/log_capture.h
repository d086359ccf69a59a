// Opens the process-wide log in a temporary directory for one test and
// gives its lines without the time/thread prefix, as "[LEVEL] text".
#pragma once

#include <string>
#include <vector>

#include "runtime/log.h"
#include "temp_dir.h"

class LogCapture {
public:
    explicit LogCapture(int level = 4)
    {
        InitLogDefaults();
        SetLogConfig("test.log", dir_.path().c_str(), level);
        OpenLogFile();
    }
    ~LogCapture()
    {
        CloseLogFile();
        FreeLogConfig();
    }

    // Every line after the open line, e.g. "[ERROR] Error Code : 2 , ...".
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        for (const std::string& line : SplitLines(ReadWholeFile(dir_.file("test.log")))) {
            // "[ time ] [ thread ] [LEVEL] text": drop the first two brackets.
            size_t at = line.find("] [");
            at = at == std::string::npos ? at : line.find("] ", at + 3);
            std::string rest = at == std::string::npos ? line : line.substr(at + 2);
            if (rest.rfind("[INFO] Log open time:", 0) != 0)
                lines.push_back(rest);
        }
        return lines;
    }

private:
    TempDir dir_;
};
