#include "host/OutputFile.h"

#if defined(_WIN32)
#include <windows.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kvbhost {

std::string temporaryNameFor(const std::string& out) {
    return out + ".part-" + std::to_string(static_cast<long>(getpid()));
}

bool replaceFile(const std::string& from, const std::string& to) {
#if defined(_WIN32)
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool writeTextFile(const std::string& path, const std::string& text, std::string& error) {
    const std::string temp = temporaryNameFor(path);
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || !replaceFile(temp, path)) {
        std::remove(temp.c_str());
        error = "writing " + path + " failed";
        return false;
    }
    return true;
}

}  // namespace kvbhost
