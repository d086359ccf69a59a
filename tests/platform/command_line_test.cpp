#include <gtest/gtest.h>

#include "command_line.h"

namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, SplitsLikeTheWindowsRuntime)
{
    EXPECT_EQ(plat::SplitCommandLine("wusa.exe C:\\u\\kb.msu /quiet /norestart"),
              (Args{"wusa.exe", "C:\\u\\kb.msu", "/quiet", "/norestart"}));
    EXPECT_EQ(plat::SplitCommandLine("  prog   a\t b  "), (Args{"prog", "a", "b"}));
    EXPECT_EQ(plat::SplitCommandLine(""), Args{});
    EXPECT_EQ(plat::SplitCommandLine("   "), Args{});
    // Quotes group, and vanish.
    EXPECT_EQ(plat::SplitCommandLine("p \"a b\" c\"d e\"f"), (Args{"p", "a b", "cd ef"}));
    // Backslashes: literal unless they precede a quote.
    EXPECT_EQ(plat::SplitCommandLine("p a\\\\b \\\\\\\"x \"c\\\\\" d\\\"e"),
              (Args{"p", "a\\\\b", "\\\"x", "c\\", "d\"e"}));
    // "" inside a quoted run is one quote.
    EXPECT_EQ(plat::SplitCommandLine("p \"a\"\"b\""), (Args{"p", "a\"b"}));
    // An unterminated quote runs to the end.
    EXPECT_EQ(plat::SplitCommandLine("p \"a b"), (Args{"p", "a b"}));
}

TEST(CommandLineTest, ProgramNameKeepsBackslashesAndQuotedBlanks)
{
    EXPECT_EQ(plat::SplitCommandLine("\"C:\\Program Files\\x.exe\" -a"), (Args{"C:\\Program Files\\x.exe", "-a"}));
    EXPECT_EQ(plat::SplitCommandLine("C:\\dir\\\"x -a"), (Args{"C:\\dir\\\"x", "-a"}));
    EXPECT_EQ(plat::SplitCommandLine("\"\" -a"), (Args{"", "-a"}));
}

} // namespace
