#include "host/ParamOptions.h"

#include "host/DemoSignal.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kvbhost {

namespace {

bool parseIndex(const std::string& s, int count, int& index) {
    if (s.empty() || s.size() > 4) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    index = std::atoi(s.c_str());
    return index < count;
}

}  // namespace

bool parseSetting(const PluginHost& host, const std::string& text, ParamSetting& out,
                  std::string& error) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        error = "'" + text + "' is not NAME=VALUE";
        return false;
    }
    const std::string name = text.substr(0, eq);
    const std::string valueText = text.substr(eq + 1);
    const int count = host.effect()->numParams;

    int index = -1;
    if (!parseIndex(name, count, index)) {
        index = -1;
        for (int i = 0; i < count; ++i) {
            if (host.text(vst::effGetParamName, i) == name) {
                index = i;
                break;
            }
        }
    }
    if (index < 0) {
        error = "unknown parameter '" + name + "' (see 'kvb info' for the names)";
        return false;
    }

    errno = 0;
    char* end = nullptr;
    const float value = std::strtof(valueText.c_str(), &end);
    if (valueText.empty() || end != valueText.c_str() + valueText.size() || errno == ERANGE ||
        !std::isfinite(value)) {
        error = "value of " + name + " is not a number: '" + valueText + "'";
        return false;
    }
    if (value < 0.0f || value > 1.0f) {
        error = "value of " + name + " must lie from 0 to 1, not " + valueText;
        return false;
    }
    out = {index, value};
    return true;
}

bool applySettings(const PluginHost& host, const std::vector<std::string>& texts,
                   std::string& error) {
    std::vector<ParamSetting> settings;
    for (const std::string& t : texts) {
        ParamSetting s{};
        if (!parseSetting(host, t, s, error)) return false;
        settings.push_back(s);
    }
    vst::AEffect* e = host.effect();
    for (const ParamSetting& s : settings) e->setParameter(e, s.index, s.value);
    return true;
}

}  // namespace kvbhost

namespace kvbhost {

bool parseWhole(const std::string& text, long lo, long hi, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end == text.c_str() + text.size() && errno == 0 && value >= lo &&
           value <= hi;
}

int pluginSetupOf(const CommandLine& line, PluginSetup& setup, bool demo) {
    setup.plugin = line.value("--plugin", defaultPluginPath());
    setup.settings.clear();
    if (demo || line.has("--demo")) setup.settings = demoSettings();
    const std::vector<std::string> sets = line.values("--set");
    setup.settings.insert(setup.settings.end(), sets.begin(), sets.end());
    const std::string text = line.value("--program");
    if (line.has("--program") && !parseWhole(text, 0, INT_MAX, setup.program)) {
        std::fprintf(stderr, "%s: --program takes a program number, not '%s'\n", commandPrefix(),
                     text.c_str());
        return 2;
    }
    return 0;
}

std::string describeSettings(const std::vector<std::string>& settings, long program) {
    std::string text = program >= 0 ? "program " + std::to_string(program) : std::string();
    if (!settings.empty() && !text.empty()) text += ",";
    for (const std::string& s : settings) text += (text.empty() ? "" : " ") + s;
    return text.empty() ? "default settings" : text;
}

int loadPlugin(PluginHost& host, const PluginSetup& setup) {
    if (!host.load(setup.plugin)) {
        std::fprintf(stderr, "%s: %s\n", commandPrefix(), host.error().c_str());
        return 1;
    }
    const long programs = host.effect()->numPrograms;
    if (setup.program >= programs) {
        if (programs > 0)
            std::fprintf(stderr, "%s: --program takes a number from 0 to %ld (the plug-in has %ld programs), not %ld\n",
                         commandPrefix(), programs - 1, programs, setup.program);
        else
            std::fprintf(stderr, "%s: --program: the plug-in has no programs\n", commandPrefix());
        return 2;
    }
    if (setup.program >= 0) host.dispatch(vst::effSetProgram, 0, setup.program);
    std::string error;
    if (!applySettings(host, setup.settings, error)) {
        std::fprintf(stderr, "%s: %s\n", commandPrefix(), error.c_str());
        return 2;
    }
    return 0;
}

}  // namespace kvbhost
