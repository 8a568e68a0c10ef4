// What every kvb command does with its command line.
#include <cstdio>
#include <cstdlib>

#include "host/Commands.h"
#include "host/OutputFile.h"
#include "host/WavFile.h"

namespace kvbhost {

namespace {
std::string prefix = "kvb";
}

const char* commandPrefix() { return prefix.c_str(); }
void setCommandPrefix(const std::string& p) { prefix = p; }

int CommandLine::parse(const Args& args, const std::vector<OptionSpec>& options) {
    arguments_.clear();
    options_.clear();
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            arguments_.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& o : options)
            if (a == o.name) spec = &o;
        if (!spec) {
            std::fprintf(stderr, "%s: unknown option '%s' (see '%s --help')\n", commandPrefix(), a.c_str(),
                         commandPrefix());
            return 2;
        }
        if (!spec->value) {
            options_.emplace_back(a, "");
            continue;
        }
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "%s: %s needs a value (%s %s)\n", commandPrefix(), a.c_str(), a.c_str(),
                         spec->value);
            return 2;
        }
        options_.emplace_back(a, args[++i]);
    }
    return 0;
}

bool CommandLine::has(const std::string& name) const {
    for (const auto& o : options_)
        if (o.first == name) return true;
    return false;
}

std::string CommandLine::value(const std::string& name, const std::string& fallback) const {
    std::string v = fallback;
    for (const auto& o : options_)
        if (o.first == name) v = o.second;
    return v;
}

std::vector<std::string> CommandLine::values(const std::string& name) const {
    std::vector<std::string> v;
    for (const auto& o : options_)
        if (o.first == name) v.push_back(o.second);
    return v;
}

int checkOutputs(const std::vector<std::string>& inputs,
                 const std::vector<std::pair<std::string, std::string>>& outputs) {
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        const auto& [path, what] = outputs[k];
        if (path.empty()) continue;
        for (const std::string& in : inputs) {
            if (!sameFile(path, in)) continue;
            std::fprintf(stderr, "%s: %s (%s) is the input file (%s); kvb does not write over its input\n",
                         commandPrefix(), what.c_str(), path.c_str(), in.c_str());
            return 2;
        }
        for (std::size_t j = 0; j < k; ++j) {
            const auto& [other, otherWhat] = outputs[j];
            if (other.empty() || !samePlace(other, path)) continue;
            std::fprintf(stderr, "%s: %s and %s are the same file (%s)\n", commandPrefix(), otherWhat.c_str(),
                         what.c_str(), path.c_str());
            return 2;
        }
    }
    return 0;
}

int checkPictureName(const std::string& path, const char* what) {
    if (extensionOf(path) == ".png") return 0;
    std::fprintf(stderr, "%s: %s must be a name ending in .png (kvb draws PNG pictures), not '%s'\n",
                 commandPrefix(), what, path.c_str());
    return 2;
}

}  // namespace kvbhost
