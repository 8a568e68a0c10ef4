// kvb as a command-line tool: help on standard output, errors that name what
// was wrong on standard error, exit codes 0, 1 and 2, and --program checked
// against the plug-in's own program count.
#include <gtest/gtest.h>

#include <string>

#include "tests/RunCommand.h"

namespace {

const char* const kCommands[] = {"info", "render", "demo", "curve", "step", "bench", "gui", "screenshot"};

// What one run printed on each stream.
struct Streams {
    int status;
    std::string out, err;
};

Streams kvb(const std::string& args) {
    const std::string k = std::string(KVB_HOST_PATH) + " " + args;
    const CommandResult out = runCommand("(" + k + " 2>/dev/null)");
    const CommandResult err = runCommand("(" + k + " 2>&1 >/dev/null)");
    EXPECT_EQ(out.status, err.status) << args;
    return {out.status, out.out, err.out};
}

}  // namespace

TEST(KvbCommandLine, HelpGoesToStandardOutput) {
    for (const char* asked : {"--help", "-h", "help"}) {
        const Streams r = kvb(asked);
        EXPECT_EQ(r.status, 0) << asked;
        EXPECT_TRUE(r.err.empty()) << asked << ": " << r.err;
        for (const char* c : kCommands) EXPECT_NE(r.out.find(std::string("  ") + c + " "), std::string::npos) << c;
    }
    for (const char* c : kCommands) {
        const Streams byHelp = kvb(std::string("help ") + c);
        const Streams byOption = kvb(std::string(c) + " --help");
        EXPECT_EQ(byHelp.status, 0) << c;
        EXPECT_EQ(byOption.status, 0) << c;
        EXPECT_TRUE(byHelp.err.empty() && byOption.err.empty()) << c;
        EXPECT_EQ(byHelp.out, byOption.out) << c;
        EXPECT_EQ(byHelp.out.rfind(std::string("usage: kvb ") + c + " ", 0), 0u) << byHelp.out;
        EXPECT_NE(byHelp.out.find("--plugin PATH"), std::string::npos) << c;
    }
    // Help wins over everything else on the line, even what would fail.
    EXPECT_EQ(kvb("render nothing.wav out.wav --set Nope=3 -h").status, 0);
    EXPECT_NE(kvb("help render").out.find("--plot PNG"), std::string::npos);
}

TEST(KvbCommandLine, VersionIsPrinted) {
    const Streams r = kvb("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "kvb 1.0\n");
    EXPECT_TRUE(r.err.empty());
}

TEST(KvbCommandLine, UnknownCommandsAndOptionsAreNamedOnStandardError) {
    Streams r = kvb("frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("kvb: unknown command 'frobnicate'"), std::string::npos) << r.err;
    r = kvb("--frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("kvb: unknown option '--frobnicate'"), std::string::npos) << r.err;
    r = kvb("help frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("kvb help: unknown command 'frobnicate'"), std::string::npos) << r.err;
    for (const char* c : kCommands) {
        r = kvb(std::string(c) + " x.png --no-such-option");
        EXPECT_EQ(r.status, 2) << c;
        EXPECT_TRUE(r.out.empty()) << c << ": " << r.out;
        EXPECT_NE(r.err.find(std::string("kvb ") + c + ": unknown option '--no-such-option'"), std::string::npos)
            << c << ": " << r.err;
    }
    // An option that needs a value and has none, with the command's prefix.
    r = kvb("curve x.png --rate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("kvb curve: --rate needs a value"), std::string::npos) << r.err;
}

TEST(KvbCommandLine, ProgramTakesThePluginsOwnCount) {
    const std::string in = ::testing::TempDir() + "/kvb-cli-in.wav", out = ::testing::TempDir() + "/kvb-cli-out.wav";
    ASSERT_EQ(kvb("demo " + in).status, 0);
    EXPECT_EQ(kvb("render " + in + " " + out + " --program 49").status, 0);
    Streams r = kvb("render " + in + " " + out + " --program 50");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("kvb render: --program takes a number from 0 to 49 (the plug-in has 50 programs)"),
              std::string::npos) << r.err;
    // A plug-in of three programs.
    const std::string three = std::string(" --plugin ") + KVB_GAIN_PLUGIN_PATH;
    EXPECT_EQ(kvb("render " + in + " " + out + " --program 2" + three).status, 0);
    r = kvb("render " + in + " " + out + " --program 3" + three);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("from 0 to 2 (the plug-in has 3 programs)"), std::string::npos) << r.err;
    r = kvb("curve x.png --program two");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("kvb curve: --program takes a program number, not 'two'"), std::string::npos) << r.err;
}
