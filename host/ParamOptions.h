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

// Takes every "--set NAME=VALUE" out of args (unchecked text).
std::vector<std::string> takeSetOptions(Args& args);

// Resolves one NAME=VALUE against the loaded plug-in. The value must be a
// number from 0 to 1. On failure answers false with a one-line message.
bool parseSetting(const PluginHost& host, const std::string& text, ParamSetting& out,
                  std::string& error);

// Resolves all of them and applies them through the record's setParameter.
bool applySettings(const PluginHost& host, const std::vector<std::string>& texts,
                   std::string& error);

}  // namespace kvbhost
