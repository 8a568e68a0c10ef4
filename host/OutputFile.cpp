#include "host/OutputFile.h"

#if defined(_WIN32)
#include <windows.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
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

#if defined(_WIN32)
namespace {

// The volume and the file index of an existing file.
bool fileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return fileIdentity(a, x) && fileIdentity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}
#else
bool sameFile(const std::string& a, const std::string& b) {
    struct stat x {}, y {};
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}
#endif

bool samePlace(const std::string& a, const std::string& b) {
    if (a == b || sameFile(a, b)) return true;
    const auto split = [](const std::string& path, std::string& folder, std::string& name) {
        const auto slash = path.find_last_of("/\\");
        folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        name = slash == std::string::npos ? path : path.substr(slash + 1);
    };
    std::string folderA, nameA, folderB, nameB;
    split(a, folderA, nameA);
    split(b, folderB, nameB);
#if defined(_WIN32)
    // Windows' names are the same whatever their case.
    for (std::string* n : {&nameA, &nameB})
        for (char& c : *n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
    return nameA == nameB && sameFile(folderA, folderB);
}

}  // namespace kvbhost
