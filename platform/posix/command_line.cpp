#include "command_line.h"

namespace plat {

std::vector<std::string> SplitCommandLine(const std::string& line)
{
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = line.size();
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };

    while (i < n && isBlank(line[i]))
        i++;
    if (i >= n)
        return args;

    /* The program name. */
    std::string program;
    if (line[i] == '"') {
        i++;
        while (i < n && line[i] != '"')
            program += line[i++];
        if (i < n)
            i++; /* the closing quote */
    } else {
        while (i < n && !isBlank(line[i]))
            program += line[i++];
    }
    args.push_back(program);

    /* The arguments. */
    for (;;) {
        while (i < n && isBlank(line[i]))
            i++;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(line[i]))) {
            if (line[i] == '\\') {
                size_t backslashes = 0;
                while (i < n && line[i] == '\\') {
                    backslashes++;
                    i++;
                }
                if (i < n && line[i] == '"') {
                    arg.append(backslashes / 2, '\\');
                    if (backslashes % 2) {
                        arg += '"';
                        i++;
                    }
                    /* an even run leaves the quote to the code below */
                } else {
                    arg.append(backslashes, '\\');
                }
                continue;
            }
            if (line[i] == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                i++;
                continue;
            }
            arg += line[i++];
        }
        args.push_back(arg);
    }
    return args;
}

} // namespace plat
