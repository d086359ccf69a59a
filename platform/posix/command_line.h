/* Splitting a Windows command line into its arguments (POSIX half only). */
#pragma once

#include <string>
#include <vector>

namespace plat {

/* Splits as Windows' C runtime does: the program name ends at the first blank
 * or tab, or, when it starts with a quote, at the next quote (backslashes are
 * ordinary there). Among the arguments, blanks and tabs separate outside
 * quotes; 2n backslashes before a quote give n backslashes and the quote
 * opens or closes a quoted run; 2n+1 give n backslashes and a literal quote;
 * "" inside a quoted run is a literal quote; other backslashes are literal. */
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

} // namespace plat
