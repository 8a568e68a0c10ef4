// A minimal VST 2.4 host: loads a plug-in binary, calls its entry point and
// talks to it only through the AEffect record. Knows nothing of KVB's classes.
#pragma once

#include <string>
#include <vector>

#include "interface/vst24.h"

namespace kvbhost {

struct HostEvent {
    vst::int32 opcode;
    vst::int32 index;
    float value;
};

class PluginHost {
public:
    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the binary and creates one instance. On failure answers false and
    // sets error() to a one-line message.
    bool load(const std::string& path);
    void unload();

    vst::AEffect* effect() const { return effect_; }
    const std::string& error() const { return error_; }

    vst::intptr dispatch(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                         void* ptr = nullptr, float opt = 0.0f) const;
    std::string text(vst::int32 opcode, vst::int32 index = 0) const;
    bool canDo(const char* what) const;

    // What the plug-in told the host: automation, begin/end edit, a new size
    // for the editor's window (audioMasterSizeWindow: the width in index, the
    // height in value), idle.
    std::vector<HostEvent> events;
    int idleCalls = 0;
    float sampleRate = 44100.0f;
    vst::int32 blockSize = 512;

    // The audioMaster callback all instances share.
    static vst::intptr callback(vst::AEffect* effect, vst::int32 opcode, vst::int32 index,
                                vst::intptr value, void* ptr, float opt);

private:
    vst::intptr answer(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                       float opt);

    void* module_ = nullptr;
    vst::AEffect* effect_ = nullptr;
    std::string error_;
};

// The plug-in binary built next to this program.
std::string defaultPluginPath();

}  // namespace kvbhost
