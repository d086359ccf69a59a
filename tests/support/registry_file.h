// An emulated registry for one test: writes a .reg file into a temporary
// directory and points TW_REGISTRY_FILE at it for the life of the object.
#pragma once

#include <stdlib.h>
#include <string>

#include "temp_dir.h"

class RegistryFile {
public:
    // `body` follows the "REGEDIT4" header (plain text).
    explicit RegistryFile(const std::string& body = "") { Write("REGEDIT4\r\n\r\n" + body); }
    ~RegistryFile() { unsetenv("TW_REGISTRY_FILE"); }

    // Replaces the whole file with `bytes`, header included.
    void Write(const std::string& bytes)
    {
        WriteWholeFile(path(), bytes);
        setenv("TW_REGISTRY_FILE", path().c_str(), 1);
    }
    std::string path() const { return dir_.file("registry.reg"); }

    // The text as Windows 5.00 exports write it: UTF-16LE with a byte-order
    // mark (the text given here is ASCII or UTF-8 limited to the BMP).
    static std::string Utf16(const std::string& text);

private:
    TempDir dir_;
};

inline std::string RegistryFile::Utf16(const std::string& text)
{
    std::string out = "\xFF\xFE";
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned code = c;
        size_t length = 1;
        if (c >= 0xE0) {
            code = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
            length = 3;
        } else if (c >= 0xC0) {
            code = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F);
            length = 2;
        }
        out.push_back(static_cast<char>(code & 0xFF));
        out.push_back(static_cast<char>(code >> 8));
        i += length;
    }
    return out;
}
