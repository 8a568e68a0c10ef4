// kvb info: everything the plug-in tells a host about itself. kvb knows the
// plug-in only through its binary; when that binary is KVB (its ID and its
// parameter names say so), the values are also shown in the units of its
// controls, from the description of KVB's parameters the formats share
// (engine/ParameterText.h).
#include <cstdio>

#include "engine/ParameterText.h"
#include "host/Commands.h"
#include "host/ParamOptions.h"
#include "host/PluginHost.h"
#include "params/Parameters.h"

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

// KVB's unique ID, 'KVB' in the low three bytes.
constexpr vst::int32 kKvbId = 0x004B5642;

bool isKvb(const PluginHost& host) {
    const vst::AEffect* e = host.effect();
    if (e->uniqueID != kKvbId || e->numParams != kNumParams) return false;
    for (int i = 0; i < kNumNamedParams; ++i)
        if (host.text(vst::effGetParamName, i) != parameterName(i)) return false;
    return true;
}

}  // namespace

int runInfo(const CommandLine& line) {
    PluginSetup setup;
    if (int rc = pluginSetupOf(line, setup)) return rc;
    PluginHost host;
    if (int rc = loadPlugin(host, setup)) return rc;
    const std::string& path = setup.plugin;
    vst::AEffect* e = host.effect();
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
    const bool known = isKvb(host);
    std::printf("Parameters:    %d%s\n", e->numParams,
                known ? " (value from 0 to 1, then in the units of KVB's controls)" : "");
    for (int i = 0; i < e->numParams; ++i) {
        const std::string name = host.text(vst::effGetParamName, i);
        const std::string shown = host.text(vst::effGetParamDisplay, i);
        if (!known || i >= kNumNamedParams) {
            std::printf("  %2d  %-11s %s\n", i, name.c_str(), shown.c_str());
            continue;
        }
        char units[32];
        kvb::formatValue(i, e->getParameter(e, i), units, sizeof units);
        std::printf("  %2d  %-11s %-8s %s\n", i, name.c_str(), shown.c_str(), units);
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
