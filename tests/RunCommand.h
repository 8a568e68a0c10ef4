// Runs a shell command line for the tests that drive kvb as a separate
// process: its exit code and everything it printed, stderr included.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

struct CommandResult {
    int status;  // the exit code, or -1 when the command did not exit normally
    std::string out;
};

inline CommandResult runCommand(const std::string& commandLine) {
    CommandResult r{-1, {}};
    FILE* p = popen((commandLine + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}
