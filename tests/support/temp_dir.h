// A directory below the system's temporary directory, removed with its
// contents when the object goes out of scope.
#pragma once

#include <string>
#include <vector>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Writes text to a file, replacing it.
void WriteWholeFile(const std::string& path, const std::string& text);
// Splits text into lines, each without its '\n'; a last line without '\n'
// is kept.
std::vector<std::string> SplitLines(const std::string& text);
