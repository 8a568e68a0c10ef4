// What binds the skin packs (one per scale) into the plug-in, written next to
// them: the Windows resource script and the Linux embedding with its table
// for the lookup.
#pragma once

#include <string>

namespace skingen {

// `dir` is the folder the packs are in, as the compilers are to find them.
std::string resourceScript(const std::string& dir);
std::string linuxEmbedding(const std::string& dir);

}  // namespace skingen
