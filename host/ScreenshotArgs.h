// The arguments of kvb screenshot, the same on every platform.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/Commands.h"

namespace kvbhost {

// Takes OUT.png and "--audio SECONDS" (default 1) out of args. Answers 0, or
// the exit code after printing why the arguments do not do.
inline int takeScreenshotArgs(Args& args, std::string& out, double& seconds) {
    std::string secondsText = "1";
    takeOption(args, "--audio", secondsText);
    char* end = nullptr;
    seconds = std::strtod(secondsText.c_str(), &end);
    if (end == secondsText.c_str() || *end || !(seconds >= 0.0) || seconds > 600.0) {
        std::fprintf(stderr, "kvb screenshot: --audio takes seconds from 0 to 600\n");
        return 2;
    }
    if (args.empty() || args[0].rfind("--", 0) == 0) {
        std::fprintf(stderr, "kvb screenshot: which file? (kvb screenshot OUT.png ...)\n");
        return 2;
    }
    out = args[0];
    args.erase(args.begin());
    return 0;
}

}  // namespace kvbhost
