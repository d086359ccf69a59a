/*
 * The parser of exported registry text.
 *
 * The file is decoded to UTF-8 first (UTF-16LE when it starts with a
 * byte-order mark, as "Windows Registry Editor Version 5.00" exports are;
 * plain bytes otherwise). Then it is read line by line, in the order an
 * import would apply it: "[key]" sections create keys, "[-key]" deletes a
 * key with everything below it, "name"=data sets a value and "name"=- deletes
 * it. Only the one key asked for keeps its values; for the others only their
 * existence is recorded, so a large file does not cost more memory than its
 * text.
 */
#include "reg_file.h"

#include <atomic>
#include <errno.h>
#include <mutex>
#include <set>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

namespace platreg {

namespace {

/* Larger files are refused as unreadable: the export of a whole machine's
 * relevant keys is a few kilobytes. */
const long kMaxFileBytes = 16L * 1024 * 1024;

const char kHeader5[] = "Windows Registry Editor Version 5.00";
const char kHeader4[] = "REGEDIT4";

const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                  "HKEY_CURRENT_CONFIG"};

void AppendUtf8(std::string* out, uint32_t codePoint)
{
    if (codePoint < 0x80) {
        out->push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

/* UTF-16LE to UTF-8. A lone surrogate becomes U+FFFD; an odd last byte is
 * dropped. */
std::string Utf16ToUtf8(const unsigned char* bytes, size_t length)
{
    std::string out;
    out.reserve(length);
    size_t units = length / 2;
    for (size_t i = 0; i < units; ++i) {
        uint32_t unit = bytes[2 * i] | (static_cast<uint32_t>(bytes[2 * i + 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            uint32_t next = bytes[2 * i + 2] | (static_cast<uint32_t>(bytes[2 * i + 3]) << 8);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(&out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(&out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

std::string DecodeFile(const std::string& bytes)
{
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() >= 2 && data[0] == 0xFF && data[1] == 0xFE)
        return Utf16ToUtf8(data + 2, bytes.size() - 2);
    if (bytes.size() >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
        return bytes.substr(3);
    return bytes;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimRight(const std::string& text)
{
    size_t end = text.size();
    while (end > 0 && (IsBlank(text[end - 1]) || text[end - 1] == '\r' || text[end - 1] == '\0'))
        --end;
    return text.substr(0, end);
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(TrimRight(text.substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* Parses 1 to 8 hex digits filling the whole of `text`. */
bool ParseHex32(const std::string& text, uint32_t* out)
{
    if (text.empty() || text.size() > 8)
        return false;
    uint32_t value = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    *out = value;
    return true;
}

/* Normalises "ROOT\a\\b\" to the folded "ROOT\A\B"; false for an unknown root
 * or an empty path. */
bool NormaliseKeyPath(const std::string& text, std::string* out)
{
    std::string folded = FoldCase(text);
    std::string result;
    size_t start = 0;
    bool first = true;
    while (start <= folded.size()) {
        size_t end = folded.find('\\', start);
        if (end == std::string::npos)
            end = folded.size();
        std::string part = folded.substr(start, end - start);
        if (first) {
            bool known = false;
            for (const char* root : kRootNames)
                known = known || part == root;
            if (!known)
                return false;
            result = part;
            first = false;
        } else if (!part.empty()) {
            result += '\\';
            result += part;
        }
        start = end + 1;
    }
    *out = result;
    return !result.empty();
}

/* True when `key` is `path` or lies below it. */
bool IsAtOrBelow(const std::string& key, const std::string& path)
{
    return key.size() >= path.size() && key.compare(0, path.size(), path) == 0 &&
        (key.size() == path.size() || key[path.size()] == '\\');
}

/* Reads a quoted text starting at text[*pos] == '"', undoing the \\ and \"
 * escapes; any other backslash stands for itself. Leaves *pos after the
 * closing quote. False when the quote is not closed. */
bool ParseQuoted(const std::string& text, size_t* pos, std::string* out)
{
    size_t i = *pos + 1;
    out->clear();
    while (i < text.size()) {
        char c = text[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out->push_back(text[i + 1]);
            i += 2;
            continue;
        }
        out->push_back(c);
        ++i;
    }
    return false;
}

bool OnlyBlanksFrom(const std::string& text, size_t pos)
{
    for (size_t i = pos; i < text.size(); ++i)
        if (!IsBlank(text[i]))
            return false;
    return true;
}

/* Parses a comma-separated byte list ("4a,00, ff"); an empty list is
 * allowed. */
bool ParseByteList(const std::string& text, std::string* out)
{
    out->clear();
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i == text.size())
        return true;
    while (true) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        int high = i < text.size() ? HexDigit(text[i]) : -1;
        if (high < 0)
            return false;
        ++i;
        int value = high;
        int low = i < text.size() ? HexDigit(text[i]) : -1;
        if (low >= 0) {
            value = high * 16 + low;
            ++i;
        }
        out->push_back(static_cast<char>(value));
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        if (i == text.size())
            return true;
        if (text[i] != ',')
            return false;
        ++i;
        /* A trailing comma before the end of the data is tolerated. */
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        if (i == text.size())
            return true;
    }
}

bool IsStringType(uint32_t type)
{
    return type == 1 || type == 2 || type == 7; /* REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ */
}

class Parser {
public:
    Parser(const std::string& path, KeySnapshot* out) : target_(path), out_(out) { }

    /* False when the text is no registry export. */
    bool Run(const std::string& text)
    {
        std::vector<std::string> lines = SplitLines(text);
        size_t i = 0;
        while (i < lines.size() && lines[i].empty())
            ++i;
        if (i == lines.size())
            return false;
        if (lines[i] == kHeader5)
            unicode_ = true;
        else if (lines[i] != kHeader4)
            return false;
        for (++i; i < lines.size(); ++i)
            Line(lines, &i);
        out_->exists = explicitTarget_ || !below_.empty();
        return true;
    }

private:
    void Line(const std::vector<std::string>& lines, size_t* index)
    {
        const std::string& raw = lines[*index];
        size_t start = 0;
        while (start < raw.size() && IsBlank(raw[start]))
            ++start;
        if (start == raw.size() || raw[start] == ';')
            return;
        std::string line = raw.substr(start);
        if (line[0] == '[')
            Section(line);
        else if (line[0] == '"' || line[0] == '@')
            ValueLine(line, lines, index);
    }

    void Section(const std::string& line)
    {
        inTarget_ = false;
        size_t close = line.rfind(']');
        if (close == std::string::npos || !OnlyBlanksFrom(line, close + 1))
            return;
        bool remove = close > 1 && line[1] == '-';
        size_t from = remove ? 2 : 1;
        std::string path;
        if (close < from || !NormaliseKeyPath(line.substr(from, close - from), &path))
            return;
        if (remove) {
            Remove(path);
        } else if (path == target_) {
            explicitTarget_ = true;
            inTarget_ = true;
        } else if (IsAtOrBelow(path, target_)) {
            below_.insert(path);
        }
    }

    /* "[-path]": the key and everything below it go. */
    void Remove(const std::string& path)
    {
        if (IsAtOrBelow(target_, path)) {
            explicitTarget_ = false;
            below_.clear();
            out_->values.clear();
            return;
        }
        for (auto it = below_.begin(); it != below_.end();) {
            if (IsAtOrBelow(*it, path))
                it = below_.erase(it);
            else
                ++it;
        }
    }

    void ValueLine(const std::string& line, const std::vector<std::string>& lines, size_t* index)
    {
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, &pos, &name)) {
            return;
        }
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        if (pos == line.size() || line[pos] != '=')
            return;
        ++pos;
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        std::string data = line.substr(pos);

        /* Hex data continues over lines that end in a backslash; those lines
         * belong to this value even when it turns out malformed. */
        if (data.compare(0, 3, "hex") == 0) {
            while (!data.empty() && data.back() == '\\' && *index + 1 < lines.size()) {
                data.pop_back();
                ++*index;
                const std::string& next = lines[*index];
                size_t skip = 0;
                while (skip < next.size() && IsBlank(next[skip]))
                    ++skip;
                data.append(next, skip, std::string::npos);
            }
        }
        if (!inTarget_)
            return;

        std::string folded = FoldCase(name);
        if (data == "-") {
            out_->values.erase(folded);
            return;
        }
        Value value;
        if (!ParseData(data, &value))
            return;
        out_->values[folded] = std::move(value);
    }

    bool ParseData(const std::string& data, Value* value)
    {
        if (!data.empty() && data[0] == '"') {
            size_t pos = 0;
            std::string text;
            if (!ParseQuoted(data, &pos, &text) || !OnlyBlanksFrom(data, pos))
                return false;
            value->type = 1;
            value->data = text;
            value->data.push_back('\0');
            return true;
        }
        if (data.compare(0, 6, "dword:") == 0) {
            uint32_t number;
            if (!ParseHex32(TrimRight(data.substr(6)), &number))
                return false;
            value->type = 4;
            value->data.assign(4, '\0');
            for (int i = 0; i < 4; ++i)
                value->data[static_cast<size_t>(i)] = static_cast<char>((number >> (8 * i)) & 0xFF);
            return true;
        }
        std::string list;
        if (data.compare(0, 4, "hex:") == 0) {
            value->type = 3;
            list = data.substr(4);
        } else if (data.compare(0, 4, "hex(") == 0) {
            size_t close = data.find("):", 4);
            if (close == std::string::npos || !ParseHex32(data.substr(4, close - 4), &value->type))
                return false;
            list = data.substr(close + 2);
        } else {
            return false;
        }
        if (!ParseByteList(list, &value->data))
            return false;
        /* Version 5 exports write string types as UTF-16LE; the ANSI reader
         * sees them converted. */
        if (unicode_ && IsStringType(value->type))
            value->data = Utf16ToUtf8(reinterpret_cast<const unsigned char*>(value->data.data()), value->data.size());
        return true;
    }

    std::string target_;
    KeySnapshot* out_;
    bool unicode_ = false;
    bool inTarget_ = false;       /* the current section is the target */
    bool explicitTarget_ = false; /* a section named the target itself */
    std::set<std::string> below_; /* keys below the target */
};

} // namespace

std::string FoldCase(const std::string& text)
{
    std::string folded = text;
    for (char& c : folded)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return folded;
}

std::string RegistryFilePath()
{
    const char* path = getenv("TW_REGISTRY_FILE");
    return path && *path ? path : "/etc/twagent/registry.reg";
}

bool ReadRegistryFile(std::string* bytes)
{
    std::string path = RegistryFilePath();
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        int error = errno;
        const char* named = getenv("TW_REGISTRY_FILE");
        if (error != ENOENT || (named && *named))
            NoteFileProblem("registry file %s cannot be read (%s); the machine has no registry keys", path.c_str(),
                            strerror(error));
        return false;
    }
    bytes->clear();
    char buffer[8192];
    size_t got;
    bool ok = true;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (bytes->size() + got > static_cast<size_t>(kMaxFileBytes)) {
            NoteFileProblem("registry file %s is larger than %ld bytes and is not read; the machine has no "
                            "registry keys",
                            path.c_str(), kMaxFileBytes);
            ok = false;
            break;
        }
        bytes->append(buffer, got);
    }
    if (ok && ferror(file)) {
        NoteFileProblem("registry file %s cannot be read (%s); the machine has no registry keys", path.c_str(),
                        strerror(errno));
        ok = false;
    }
    fclose(file);
    return ok;
}

bool ParseRegistryText(const std::string& bytes, const std::string& path, KeySnapshot* out)
{
    *out = KeySnapshot();
    Parser parser(path, out);
    if (parser.Run(DecodeFile(bytes)))
        return true;
    *out = KeySnapshot();
    return false;
}

namespace {

std::mutex problemGuard;
std::atomic<bool> problemNoted{false};
char problemText[1024]; /* written once under the guard, then only read */

} // namespace

void NoteFileProblem(const char* format, ...)
{
    std::lock_guard<std::mutex> hold(problemGuard);
    if (problemNoted.load(std::memory_order_relaxed))
        return;
    va_list args;
    va_start(args, format);
    vsnprintf(problemText, sizeof problemText, format, args);
    va_end(args);
    problemNoted.store(true, std::memory_order_release);
}

const char* FileProblem() { return problemNoted.load(std::memory_order_acquire) ? problemText : nullptr; }

} // namespace platreg
