#include "host/ParamOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kvbhost {

std::vector<std::string> takeSetOptions(Args& args) {
    std::vector<std::string> texts;
    std::string text;
    while (takeOption(args, "--set", text)) texts.push_back(text);
    return texts;
}

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
