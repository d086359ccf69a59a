/* Path and name helpers shared by the rotation's files. */
#pragma once

#include <string>

namespace rotation {

/* folder, separator, name: a folder that ends with a separator yields a
 * doubled one, which the file system accepts. */
std::string JoinPath(const std::string& folder, const std::string& name);

/* The text before the first ".log" of `name`; the whole name when it holds
 * none. */
std::string BaseName(const std::string& name);

} // namespace rotation
