// esu-prereq-check as the agent runs it: a process with its options, on an
// emulated machine (a .reg file), with a stand-in wusa.exe first on PATH
// that records its arguments and ends with a chosen code. The tool hands
// its full exit code back through TW_EXIT_CODE_FILE, as the platform's
// process runner reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/process.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const uint32_t kNotApplicable = 50023;

std::string WindowsMachine(const std::string& version, const std::string& productType, const std::string& edition)
{
    return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
           "\"CurrentVersion\"=\"" +
        version +
        "\"\r\n\"CurrentBuildNumber\"=\"6002\"\r\n"
        "\"EditionID\"=\"" +
        edition +
        "\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions]\r\n"
        "\"ProductType\"=\"" +
        productType +
        "\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brisoly\\Tarnwell\\TWAgent]\r\n"
        "\"TWAgentInstallDir\"=\"/opt/twagent/\"\r\n\"TWAgentLogLevel\"=dword:00000003\r\n";
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(bin());
        fs::create_directories(install());
        const char* path = getenv("PATH");
        savedPath = path ? path : "";
        setenv("PATH", bin().c_str(), 1);
        setenv("TW_REGISTRY_FILE", root.file("machine.reg").c_str(), 1);
        Example("windows7-workstation.reg");
    }
    void TearDown() override
    {
        setenv("PATH", savedPath.c_str(), 1);
        unsetenv("TW_REGISTRY_FILE");
    }

    std::string bin() const { return root.file("bin"); }
    std::string install() const { return root.file("agent"); }
    std::string LogPath() const { return install() + "/logs/twprereqhandler.log"; }

    // The machine: its registry text, with the agent installed below root.
    void Machine(std::string reg, bool agentKey = true)
    {
        if (!agentKey)
            reg = reg.substr(0, reg.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brisoly"));
        for (size_t at; (at = reg.find("/opt/twagent/")) != std::string::npos;)
            reg.replace(at, 13, install() + "/");
        WriteWholeFile(root.file("machine.reg"), reg);
    }
    void Example(const std::string& name, bool agentKey = true)
    {
        Machine(ReadWholeFile(std::string(TW_EXAMPLE_MACHINES) + "/" + name), agentKey);
    }

    // The stand-in installer: one argument per line into "args", then the
    // chosen code in full.
    void Installer(uint32_t code)
    {
        std::string file = bin() + "/wusa.exe";
        WriteWholeFile(file,
                       "#!/bin/sh\n: > \"" + root.file("args") +
                           "\"\n"
                           "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"" +
                           root.file("args") +
                           "\"; done\n"
                           "echo " +
                           std::to_string(code) + " > \"$TW_EXIT_CODE_FILE\"\nexit 1\n");
        chmod(file.c_str(), 0755);
    }
    bool InstallerRan() const { return fs::exists(root.file("args")); }
    Lines InstallerArgs() const { return SplitLines(ReadWholeFile(root.file("args"))); }

    uint32_t Run(const std::string& options)
    {
        fs::remove(root.file("args"));
        PlatProcess* tool = PlatStartProcess(("\"" TW_TOOL "\" " + options).c_str(), nullptr, 0);
        EXPECT_NE(tool, nullptr);
        if (!tool)
            return 0xDEADBEEF;
        EXPECT_EQ(PlatWaitProcess(tool, 60000), PLAT_WAIT_OBJECT_0);
        uint32_t code = 0xDEADBEEF;
        EXPECT_TRUE(PlatGetProcessExitCode(tool, &code));
        PlatCloseProcess(tool);
        return code;
    }

    // The log's messages without time, thread and level.
    Lines Messages() const
    {
        Lines messages;
        for (const std::string& line : SplitLines(ReadWholeFile(LogPath()))) {
            size_t at = line.find("] [");
            at = at == std::string::npos ? at : line.find("] ", at + 3);
            messages.push_back(at == std::string::npos ? line : line.substr(at + 2));
        }
        return messages;
    }
    int Count(const std::string& part) const
    {
        int count = 0;
        for (const std::string& message : Messages())
            count += message.find(part) != std::string::npos;
        return count;
    }

    TempDir root;
    std::string savedPath;
};

TEST_F(Tool, Windows7InstallsAndLogsEveryStepInOrder)
{
    Installer(3010);
    EXPECT_EQ(Run("-fn C:\\pkg\\update.msu -s \"/quiet /norestart\""), 0u);
    EXPECT_EQ(InstallerArgs(), (Lines{"C:\\pkg\\update.msu", "/quiet", "/norestart"}));
    const std::string text =
        "The requested operation is successful. Changes will not be effective until the system is rebooted. ";
    Lines expected{"[INFO] Log open time: ",
                   "[INFO] Check ESU.",
                   "[INFO] SSU Filename: C:\\pkg\\update.msu",
                   "[INFO] SSU args: /quiet /norestart",
                   "[INFO] MajorVersion : 6",
                   "[INFO] MinorVersion : 1",
                   "[INFO] BuildNumber : 7601",
                   "[INFO] ProductType : 1",
                   "[INFO] EditionType : 48",
                   "[INFO] ProcessorArchitecture : ",
                   "[INFO] ESU is applicable.",
                   "[INFO] Command line args: wusa.exe C:\\pkg\\update.msu /quiet /norestart",
                   "[DEBUG] @@@@@@@@ Inside execute Method @@@@@@@@ ",
                   "[INFO] execute : Process successfully created for application wusa.exe C:\\pkg\\update.msu "
                   "/quiet /norestart ",
                   "[ERROR] Error Code : 3010 , Error Message : " + text + " ",
                   "[INFO] execute : Exit code for the application : 3010 ",
                   "[INFO] execute : Remarks from the CreateProcess is " + text +
                       " for the executable wusa.exe C:\\pkg\\update.msu /quiet /norestart ",
                   "[DEBUG] @@@@@@@@ End Of execute Method @@@@@@@@ ",
                   "[INFO] Log close time: "};
    Lines messages = Messages();
    ASSERT_EQ(messages.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_EQ(messages[i].rfind(expected[i], 0), 0u) << i << ": " << messages[i];
}

TEST_F(Tool, InstallerResultsBecomeTheExitCode)
{
    const std::pair<uint32_t, uint32_t> cases[] = {{0, 0},       {3010, 0}, {1641, 0}, {1508, 0}, {2359302, 2359302},
                                                   {1603, 1603}, {5, 5}};
    for (auto [installer, exitCode] : cases) {
        Installer(installer);
        EXPECT_EQ(Run("-fn u.msu -s /quiet"), exitCode) << installer;
        EXPECT_TRUE(InstallerRan());
    }
    EXPECT_EQ(Count("execute : Exit code for the application : 2359302 "), 1);
}

TEST_F(Tool, MissingInstallerGivesFileNotFound)
{
    EXPECT_EQ(Run("-fn u.msu -s /quiet"), 2u);
    Lines messages = Messages();
    auto failed = std::find(messages.begin(), messages.end(),
                            "[INFO] execute : Failed to Create the Process for the application ");
    ASSERT_NE(failed, messages.end());
    ASSERT_NE(failed + 1, messages.end());
    EXPECT_EQ(failed[1], "[ERROR] Error Code : 2 , Error Message : The system cannot find the file specified.  ");
}

TEST_F(Tool, OtherWindowsVersionsAreNotApplicable)
{
    Installer(0);
    struct {
        const char* what;
        std::string reg;
    } machines[] = {
        {"Vista", WindowsMachine("6.0", "WinNT", "Business")},
        {"Windows 8", WindowsMachine("6.2", "WinNT", "Professional")},
        {"Windows 10", ReadWholeFile(std::string(TW_EXAMPLE_MACHINES) + "/windows10.reg")},
    };
    for (auto& machine : machines) {
        fs::remove(LogPath());
        Machine(machine.reg);
        EXPECT_EQ(Run("-fn u.msu -s /quiet"), kNotApplicable) << machine.what;
        EXPECT_FALSE(InstallerRan()) << machine.what;
        Lines messages = Messages();
        ASSERT_GE(messages.size(), 4u) << machine.what;
        EXPECT_EQ(messages[messages.size() - 4], "[INFO] ESU not applicable to this machine.");
        EXPECT_EQ(messages[messages.size() - 3], "[INFO] ESU is not applicable.");
        EXPECT_EQ(messages[messages.size() - 2], "[INFO] Return Code: 50023");
    }
}

TEST_F(Tool, ServersApply)
{
    Installer(0);
    Machine(WindowsMachine("6.0", "ServerNT", "ServerStandard"));
    EXPECT_EQ(Run("-fn u.msu -s /quiet"), 0u);
    EXPECT_TRUE(InstallerRan());
    Example("server2008r2.reg");
    EXPECT_EQ(Run("-fn u.msu -s /quiet"), 0u);
    EXPECT_TRUE(InstallerRan());
}

TEST_F(Tool, WithoutAgentKeySameExitCodeAndNoLog)
{
    Installer(3010);
    Example("windows7-workstation.reg", false);
    EXPECT_EQ(Run("-fn u.msu -s /quiet"), 0u);
    EXPECT_TRUE(InstallerRan());
    Example("windows10.reg", false);
    EXPECT_EQ(Run("-fn u.msu -s /quiet"), kNotApplicable);
    EXPECT_FALSE(fs::exists(install() + "/logs"));
}

TEST_F(Tool, OptionsAsTheAgentMayGiveThem)
{
    Installer(0);
    EXPECT_EQ(Run("-s \"/quiet /norestart\" -fn C:\\pkg\\update.msu"), 0u);
    EXPECT_EQ(InstallerArgs(), (Lines{"C:\\pkg\\update.msu", "/quiet", "/norestart"}));
    EXPECT_EQ(Count("Command line args: wusa.exe C:\\pkg\\update.msu /quiet /norestart"), 1);

    EXPECT_EQ(Run(""), 0u);
    EXPECT_EQ(InstallerArgs(), Lines{});
    Lines messages = Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "[INFO] Command line args: wusa.exe  "), 1);

    EXPECT_EQ(Run("-fn update.msu"), 0u);
    EXPECT_EQ(InstallerArgs(), Lines{"update.msu"});

    EXPECT_EQ(Run("-x 1 -fn update.msu"), 0u);
    EXPECT_EQ(InstallerArgs(), Lines{});

    EXPECT_EQ(Run("-fn u.msu -s \"/quiet /log:%TEMP%\\wusa.evtx\""), 0u);
    EXPECT_EQ(InstallerArgs(), (Lines{"u.msu", "/quiet", "/log:%TEMP%\\wusa.evtx"}));
    EXPECT_EQ(Count("SSU args: /quiet /log:%TEMP%\\wusa.evtx"), 1);

    EXPECT_EQ(Run("-fn u.msu -s"), 0u); // last option without value
    EXPECT_EQ(InstallerArgs(), Lines{"u.msu"});
}

// A registry file that cannot be used leaves no agent key, so no log: the
// reason goes to standard error, once however often the file is read.
TEST_F(Tool, UnusableRegistryFileIsReportedOnceOnStandardError)
{
    Installer(0);
    const std::string machine = root.file("machine.reg");
    struct {
        const char* what;
        std::string file; // the registry file to name
        std::string text; // its content, when it is written
        const char* reason;
    } cases[] = {
        {"not an export", machine, "hello\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n", "is not a registry export"},
        {"empty", machine, "", "is not a registry export"},
        {"too large", machine, "REGEDIT4\n" + std::string(16 * 1024 * 1024, ';'), "is larger than 16777216 bytes"},
        {"a directory", bin(), "", "cannot be read (Is a directory)"},
        {"missing", root.file("typo.reg"), "", "cannot be read (No such file or directory)"},
    };
    const std::string errors = root.file("stderr");
    const std::string code = root.file("code");
    setenv("TW_EXIT_CODE_FILE", code.c_str(), 1);
    for (auto& c : cases) {
        if (c.file == machine)
            WriteWholeFile(machine, c.text);
        setenv("TW_REGISTRY_FILE", c.file.c_str(), 1);
        WriteWholeFile(code, "none\n"); // the tool writes its full code into a file that exists
        std::string command = "\"" TW_TOOL "\" -fn u.msu -s /quiet 2>\"" + errors + "\"";
        EXPECT_NE(system(command.c_str()), -1);
        EXPECT_EQ(ReadWholeFile(code), std::to_string(kNotApplicable) + "\n") << c.what;
        Lines lines = SplitLines(ReadWholeFile(errors));
        ASSERT_EQ(lines.size(), 1u) << c.what;
        EXPECT_EQ(lines[0].rfind("esu-prereq-check: registry file " + c.file + " ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(c.reason), std::string::npos) << lines[0];
        EXPECT_FALSE(InstallerRan());
    }

    // A readable machine says nothing there.
    Example("windows7-workstation.reg");
    setenv("TW_REGISTRY_FILE", machine.c_str(), 1);
    WriteWholeFile(code, "none\n");
    EXPECT_NE(system(("\"" TW_TOOL "\" -fn u.msu 2>\"" + errors + "\"").c_str()), -1);
    unsetenv("TW_EXIT_CODE_FILE");
    EXPECT_EQ(ReadWholeFile(code), "0\n");
    EXPECT_EQ(ReadWholeFile(errors), "");
    EXPECT_TRUE(InstallerRan());
}

TEST_F(Tool, SecondRunAppendsToTheLog)
{
    Installer(0);
    Run("-fn u.msu -s /quiet");
    Run("-fn u.msu -s /quiet");
    EXPECT_EQ(Count("[INFO] Log open time: "), 2);
    EXPECT_EQ(Count("[INFO] Log close time: "), 2);
    EXPECT_EQ(Count("[INFO] Check ESU."), 2);
    Lines messages = Messages();
    EXPECT_EQ(messages.front().rfind("[INFO] Log open time: ", 0), 0u);
    EXPECT_EQ(messages.back().rfind("[INFO] Log close time: ", 0), 0u);
}

} // namespace
