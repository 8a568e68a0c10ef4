// The kvb subcommands. Each takes the arguments after its name and answers
// the process exit code: 0 when all went well, 1 when the work failed, 2 when
// the command line was wrong. Each prints its own one-line errors to stderr,
// prefixed with the command ("kvb render: ...").
#pragma once

#include <string>
#include <vector>

namespace kvbhost {

using Args = std::vector<std::string>;

int runInfo(const Args& args);
int runRender(const Args& args);
int runDemo(const Args& args);
int runBench(const Args& args);
// Linux builds only: they draw with PLplot.
int runCurve(const Args& args);
int runStep(const Args& args);

// "kvb render" while that command runs: the prefix of its messages.
const char* commandPrefix();
void setCommandPrefix(const std::string& prefix);

// Takes "--plugin PATH" out of args; answers the path, or the default one.
std::string takePluginOption(Args& args);
// Takes "--NAME VALUE" out of args; answers false when it is not there.
// Exits with 2 when the value is missing.
bool takeOption(Args& args, const std::string& name, std::string& value);
// Takes a flag ("--float") out of args; answers whether it was there.
bool takeFlag(Args& args, const std::string& name);
// Answers true, after naming it on stderr, when an option is left in args
// that the command does not know.
bool unknownOptionLeft(const Args& args);
// Prints the command's synopsis on stderr and answers 2.
int usageError(const char* command);

}  // namespace kvbhost
