// kvb as a command-line tool: help on standard output, errors that name what
// was wrong on standard error, exit codes 0, 1 and 2, one grammar for every
// command (the README's table of options included), --program checked
// against the plug-in's own program count, and kvb info in real units.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
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

// The same mistake gives the same exit code and message in every command,
// before any work is done or any window opened.
TEST(KvbCommandLine, TheSameMistakeGivesTheSameExitCodeInEveryCommand) {
    const std::string in = ::testing::TempDir() + "/kvb-cli-same.wav", out = ::testing::TempDir() + "/kvb-cli-out.wav";
    ASSERT_EQ(kvb("demo " + in + " --rate 8000").status, 0);
    const std::string lines[] = {"info",       "render " + in + " " + out, "demo " + out, "curve x.png",
                                 "step x.png", "bench",                    "gui",         "screenshot x.png"};
    const std::pair<const char*, const char*> mistakes[] = {
        {" --set Nope=1", ": unknown parameter 'Nope'"},
        {" --set OptThr1=2", ": value of OptThr1 must lie from 0 to 1"},
        {" --program x", ": --program takes a program number, not 'x'"},
        {" --program 50", ": --program takes a number from 0 to 49"},
    };
    for (const std::string& line : lines)
        for (const auto& [mistake, says] : mistakes) {
            const Streams r = kvb(line + mistake);
            EXPECT_EQ(r.status, 2) << line << mistake;
            const std::string command = line.substr(0, line.find(' '));
            EXPECT_NE(r.err.find("kvb " + command + says), std::string::npos) << line << mistake << ": " << r.err;
        }
}

// An option given twice takes its last value; --set adds up.
TEST(KvbCommandLine, AnOptionGivenTwiceTakesItsLastValue) {
    const std::string in = ::testing::TempDir() + "/kvb-cli-twice.wav", out = ::testing::TempDir() + "/kvb-cli-twice-out.wav";
    ASSERT_EQ(kvb("demo " + in + " --rate 8000").status, 0);
    EXPECT_EQ(kvb("render " + in + " " + out + " --block 0 --block 64").status, 0);
    const Streams r = kvb("render " + in + " " + out + " --block 64 --block 0");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--block takes a number from 1 to 1048576, not '0'"), std::string::npos) << r.err;
    const Streams info = kvb("info --set OptThr1=0.2 --set DisThr1=0.5 --set OptThr1=0.5");
    EXPECT_NE(info.out.find("   0  OptThr1     0.500"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("   2  DisThr1     0.500"), std::string::npos) << info.out;
    // After "--" nothing is an option.
    const Streams ended = kvb("render -- " + in + " --float");
    EXPECT_EQ(ended.status, 2);
    EXPECT_NE(ended.err.find("OUT '--float'"), std::string::npos) << ended.err;
}

// The README's table of options lists, for each command, what that
// command's help lists, which is what its parser takes.
TEST(KvbCommandLine, TheReadmesTableListsWhatEachCommandTakes) {
    std::ifstream readme(KVB_SOURCE_DIR "/README.md");
    ASSERT_TRUE(readme.good());
    auto cells = [](const std::string& row) {
        std::vector<std::string> out;
        std::stringstream s(row.substr(1));
        for (std::string c; std::getline(s, c, '|');) {
            const auto a = c.find_first_not_of(" `"), b = c.find_last_not_of(" `");
            out.push_back(a == std::string::npos ? "" : c.substr(a, b - a + 1));
        }
        return out;
    };
    std::vector<std::string> header;
    std::map<std::string, std::set<std::string>> table;
    for (std::string row; std::getline(readme, row);) {
        if (header.empty()) {
            if (row.rfind("| option |", 0) == 0) header = cells(row);
            continue;
        }
        if (row.empty() || row[0] != '|') break;
        const std::vector<std::string> c = cells(row);
        if (c.size() != header.size() || c[0].size() < 3 || c[0].rfind("--", 0) != 0 || c[0][2] == '-') continue;
        const std::string option = c[0].substr(0, c[0].find(' '));
        for (std::size_t k = 1; k < c.size(); ++k)
            if (c[k] != "–") table[header[k]].insert(option);
    }
    ASSERT_EQ(header.size(), 9u) << "| option | and the eight commands";
    for (std::size_t k = 1; k < header.size(); ++k) {
        const Streams help = kvb("help " + header[k]);
        ASSERT_EQ(help.status, 0) << header[k];
        std::set<std::string> listed;
        std::stringstream lines(help.out);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("  --", 0) == 0) listed.insert(line.substr(2, line.find(' ', 2) - 2));
        EXPECT_EQ(table[header[k]], listed) << header[k];
    }
}

// For KVB, kvb info gives each value in the units of its controls beside
// the value from 0 to 1; for another plug-in, only what the plug-in says.
TEST(KvbInfo, ShowsKvbsValuesInTheUnitsOfItsControls) {
    const Streams r = kvb("info --set DisAtk1=0 --set OptThr1=0.5 --set OptMode=1 --set DisRls1=0.2");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* expected :
         {"Parameters:    51 (value from 0 to 1, then in the units of KVB's controls)",
          "   0  OptThr1     0.500    -35.0 dB", "   3  DisAtk1     0.000    0.044 ms", "   4  DisRat1     0.800    5:1",
          "   5  DisRls1     0.200    113 ms", "  14  OptMode     1.000    FAST", "  20  DisByp1     1.000    BYPASSED",
          "  26  -           0.500\n"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << "missing: " << expected << "\n" << r.out;
    const Streams other = kvb(std::string("info --plugin ") + KVB_GAIN_PLUGIN_PATH);
    ASSERT_EQ(other.status, 0) << other.err;
    EXPECT_EQ(other.out.find("units"), std::string::npos) << other.out;
}

// kvb bench times any passage: the start of a file at its own rate, scaled
// by --gain-db or silenced; its numbers are checked as every command's are.
TEST(KvbBench, TimesTheStartOfAFileScaledOrSilenced) {
    const std::string in = ::testing::TempDir() + "/kvb-bench-in.wav";
    ASSERT_EQ(kvb("demo " + in + " --rate 8000").status, 0);
    Streams r = kvb("bench --input " + in + " --gain-db -70 --seconds 0.2 --runs 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("rate 8000 Hz, block 512, 1 runs of 0.2 s of " + in + " at -70.0 dB\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("median: "), std::string::npos) << r.out;
    r = kvb("bench --input " + in + " --gain-db -inf --seconds 0.2 --runs 1 --rate 48000");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("rate 48000 Hz, block 512, 1 runs of 0.2 s of " + in + ", silenced\n"), std::string::npos)
        << r.out;
    r = kvb("bench --gain-db loud");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("kvb bench: --gain-db takes a number from -200 to 60, not 'loud'"), std::string::npos) << r.err;
    r = kvb("bench --input " + ::testing::TempDir() + "/no-such-file.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("kvb bench: cannot read "), std::string::npos) << r.err;
}
