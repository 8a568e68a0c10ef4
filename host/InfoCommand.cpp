// kvb info: everything the plug-in tells a host about itself.
#include <cstdio>

#include "host/Commands.h"
#include "host/PluginHost.h"

namespace kvbhost {

namespace {

std::string fourChars(vst::int32 id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned char c = static_cast<unsigned char>((static_cast<unsigned>(id) >> shift) & 0xFF);
        s += (c >= 32 && c < 127) ? static_cast<char>(c) : '.';
    }
    return s;
}

std::string flagNames(vst::int32 flags) {
    struct Flag { vst::int32 bit; const char* name; };
    static const Flag names[] = {
        {vst::effFlagsHasEditor, "HasEditor"},         {vst::effFlagsCanReplacing, "CanReplacing"},
        {vst::effFlagsProgramChunks, "ProgramChunks"}, {vst::effFlagsIsSynth, "IsSynth"},
        {vst::effFlagsNoSoundInStop, "NoSoundInStop"},
        {vst::effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
    };
    std::string s;
    for (const Flag& f : names)
        if (flags & f.bit) s += (s.empty() ? "" : " ") + std::string(f.name);
    return s;
}

}  // namespace

int runInfo(const Args& given) {
    Args args = given;
    const std::string path = takePluginOption(args);
    if (unknownOptionLeft(args)) return 2;
    if (!args.empty()) {
        std::fprintf(stderr, "kvb info: unexpected argument '%s'\n", args[0].c_str());
        return 2;
    }
    PluginHost host;
    if (!host.load(path)) {
        std::fprintf(stderr, "kvb info: %s\n", host.error().c_str());
        return 1;
    }
    const vst::AEffect* e = host.effect();
    std::printf("Plug-in:       %s\n", path.c_str());
    std::printf("Effect name:   %s\n", host.text(vst::effGetEffectName).c_str());
    std::printf("Vendor:        %s\n", host.text(vst::effGetVendorString).c_str());
    std::printf("Product:       %s\n", host.text(vst::effGetProductString).c_str());
    std::printf("Unique ID:     '%s' (0x%08X)\n", fourChars(e->uniqueID).c_str(),
                static_cast<unsigned>(e->uniqueID));
    std::printf("Version:       %d\n", e->version);
    std::printf("VST version:   %ld\n", static_cast<long>(host.dispatch(vst::effGetVstVersion)));
    std::printf("Vendor version: %ld\n", static_cast<long>(host.dispatch(vst::effGetVendorVersion)));
    std::printf("Inputs:        %d\n", e->numInputs);
    std::printf("Outputs:       %d\n", e->numOutputs);
    std::printf("Initial delay: %d samples\n", e->initialDelay);
    std::printf("Flags:         0x%X (%s)\n", static_cast<unsigned>(e->flags), flagNames(e->flags).c_str());
    std::printf("Parameters:    %d\n", e->numParams);
    for (int i = 0; i < e->numParams; ++i) {
        std::printf("  %2d  %-11s %s\n", i, host.text(vst::effGetParamName, i).c_str(),
                    host.text(vst::effGetParamDisplay, i).c_str());
    }
    std::printf("Programs:      %d\n", e->numPrograms);
    for (int i = 0; i < e->numPrograms; ++i) {
        char name[256] = {0};
        host.dispatch(vst::effGetProgramNameIndexed, i, 0, name);
        std::printf("  %2d  %s\n", i, name);
    }
    return 0;
}

}  // namespace kvbhost
