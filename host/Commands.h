// The kvb subcommands. Each takes the arguments after its name and answers
// the process exit code; each prints its own one-line errors to stderr.
#pragma once

#include <string>
#include <vector>

namespace kvbhost {

using Args = std::vector<std::string>;

int runInfo(const Args& args);
int runRender(const Args& args);
int runDemo(const Args& args);
int runBench(const Args& args);

// Takes "--plugin PATH" out of args; answers the path, or the default one.
std::string takePluginOption(Args& args);
// Takes "--NAME VALUE" out of args; answers false when it is not there.
bool takeOption(Args& args, const std::string& name, std::string& value);

}  // namespace kvbhost
