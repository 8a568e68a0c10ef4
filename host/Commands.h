// The kvb subcommands and the one grammar of their command lines.
//
// Every command's line is parsed the same way, from the table of the options
// it takes (kvb.cpp), before the command runs: an option it does not take is
// an error, an option that takes a value takes the next argument whatever it
// looks like, "--" ends the options, and an option given more than once
// takes its last value (the repeatable ones, --set and --compare-set, add
// up). Each command answers the process exit code: 0 when all went well, 1
// when the work failed (a file that cannot be read or written, a plug-in
// that cannot be loaded), 2 when the command line was wrong: an unknown
// option, a missing value or file, and also a value that does not fit (a
// parameter the plug-in does not have, a file name that names no format kvb
// writes, an output that is the input). Each prints its own one-line errors to stderr,
// prefixed with the command ("kvb render: ...").
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kvbhost {

using Args = std::vector<std::string>;

// One option a command takes.
struct OptionSpec {
    const char* name;   // "--block"
    const char* value;  // what its value is called ("N"), or nullptr for a flag
    const char* help;   // for kvb help; lines after the first are indented
    bool repeatable = false;
};

// A command line parsed against its command's options.
class CommandLine {
public:
    // Parses `args` (what follows the command's name). Answers 0, or 2 after
    // naming the mistake on stderr.
    int parse(const Args& args, const std::vector<OptionSpec>& options);

    // What is left when the options are taken out: the files, in order.
    const Args& arguments() const { return arguments_; }
    bool has(const std::string& name) const;
    // The option's value, its last one when given more than once; `fallback`
    // when it was not given.
    std::string value(const std::string& name, const std::string& fallback = "") const;
    // Every value of a repeatable option, in the order given.
    std::vector<std::string> values(const std::string& name) const;

private:
    Args arguments_;
    std::vector<std::pair<std::string, std::string>> options_;
};

int runInfo(const CommandLine& line);
int runRender(const CommandLine& line);
int runDemo(const CommandLine& line);
int runBench(const CommandLine& line);
// Linux builds only: they draw with PLplot.
int runCurve(const CommandLine& line);
int runStep(const CommandLine& line);
// The editor commands (GuiCommand.cpp with X11, GuiCommand_win.cpp on Windows).
int runGui(const CommandLine& line);
int runScreenshot(const CommandLine& line);

// "kvb render" while that command runs: the prefix of its messages.
const char* commandPrefix();
void setCommandPrefix(const std::string& prefix);

// Prints the command's synopsis on stderr and answers 2.
int usageError(const char* command);

// Checks the names of the files a command is to write against what it reads
// and against each other. `outputs` are pairs of a name and what it is
// ("OUT", "--plot"); empty names are left out. Answers 0, or 2 after saying
// which two are the same file (also through a link).
int checkOutputs(const std::vector<std::string>& inputs,
                 const std::vector<std::pair<std::string, std::string>>& outputs);
// Answers 0 when `path` ends in .png (any case), else 2 after saying so.
// `what` names the argument: "OUT", "--plot".
int checkPictureName(const std::string& path, const char* what);

}  // namespace kvbhost
