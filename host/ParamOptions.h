// Parameter settings given on the command line as NAME=VALUE, where NAME is a
// parameter's name as the plug-in reports it (OptThr1) or its index (30).
#pragma once

#include <string>
#include <vector>

#include "host/Commands.h"
#include "host/PluginHost.h"

namespace kvbhost {

struct ParamSetting {
    int index;
    float value;
};

// Resolves one NAME=VALUE against the loaded plug-in. The value must be a
// number from 0 to 1. On failure answers false with a one-line message.
bool parseSetting(const PluginHost& host, const std::string& text, ParamSetting& out,
                  std::string& error);

// Resolves all of them and applies them through the record's setParameter.
bool applySettings(const PluginHost& host, const std::vector<std::string>& texts,
                   std::string& error);

// A whole number from lo to hi, and nothing else.
bool parseWhole(const std::string& text, long lo, long hi, long& value);

// What the command line asks the plug-in to start from.
struct PluginSetup {
    std::string plugin;
    long program = -1;                  // -1: the program the plug-in starts with
    std::vector<std::string> settings;  // NAME=VALUE, applied after the program
};

// The plug-in's setup from --plugin, --program, --demo and every --set, in
// the order they act: the program, then the demo's settings (always, when
// `demo` is given), then each --set. Answers 0, or 2 after saying why (a
// --program that is no number).
int pluginSetupOf(const CommandLine& line, PluginSetup& setup, bool demo = false);

// "program 3, OptThr1=0.8 DisByp1=0", or "default settings": for titles.
std::string describeSettings(const std::vector<std::string>& settings, long program);

// Loads the plug-in, selects the program and applies the settings. Answers 0,
// or after saying why: 1 when the plug-in cannot be loaded, 2 when the
// program (from 0 to the plug-in's count - 1) or a setting does not fit it.
int loadPlugin(PluginHost& host, const PluginSetup& setup);

}  // namespace kvbhost
