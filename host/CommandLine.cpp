// What every kvb command does with its command line.
#include <cstdio>
#include <cstdlib>

#include "host/Commands.h"
#include "host/PluginHost.h"

namespace kvbhost {

namespace {
std::string prefix = "kvb";
}

const char* commandPrefix() { return prefix.c_str(); }
void setCommandPrefix(const std::string& p) { prefix = p; }

bool takeOption(Args& args, const std::string& name, std::string& value) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name) continue;
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "%s: %s needs a value\n", commandPrefix(), name.c_str());
            std::exit(2);
        }
        value = args[i + 1];
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return true;
    }
    return false;
}

bool takeFlag(Args& args, const std::string& name) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name) continue;
        args.erase(args.begin() + static_cast<long>(i));
        return true;
    }
    return false;
}

std::string takePluginOption(Args& args) {
    std::string path;
    return takeOption(args, "--plugin", path) ? path : defaultPluginPath();
}

bool unknownOptionLeft(const Args& args) {
    for (const std::string& a : args) {
        if (a.size() < 2 || a[0] != '-') continue;
        std::fprintf(stderr, "%s: unknown option '%s' (see '%s --help')\n", commandPrefix(), a.c_str(),
                     commandPrefix());
        return true;
    }
    return false;
}

}  // namespace kvbhost
