// Output files are written under a temporary name next to them and renamed
// into place only when complete, so that a failed run never replaces a good
// file with a broken one.
#pragma once

#include <string>

namespace kvbhost {

// A name next to `out` that no one else is using.
std::string temporaryNameFor(const std::string& out);

// Puts the finished temporary file in the output's place.
bool replaceFile(const std::string& from, const std::string& to);

// Writes `text` to `path` that way. Answers false with a message.
bool writeTextFile(const std::string& path, const std::string& text, std::string& error);

// Whether two names lead to one existing file, by whatever path, link or
// hard link: the same device and file number. False when either is not there.
bool sameFile(const std::string& a, const std::string& b);

// Whether two output names would write one file: the same file, or, where
// they are not there yet, the same name in the same folder ("x.wav" and
// "./x.wav").
bool samePlace(const std::string& a, const std::string& b);

}  // namespace kvbhost
