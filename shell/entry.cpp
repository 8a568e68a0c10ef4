// The library's exported entry point. The same function is exported a second
// time as "main" for older hosts (see the linker script / module definition).
#include "shell/Controlsgui.h"

extern "C" {

__attribute__((visibility("default"))) vst::AEffect* VSTPluginMain(
    vst::AudioMasterCallback audioMaster) {
    return createEffectInstance(audioMaster);
}

#if !defined(_WIN32)
// One function, two names.
__attribute__((visibility("default"), alias("VSTPluginMain"))) vst::AEffect* kvbMainAlias(
    vst::AudioMasterCallback audioMaster) __asm__("main");
#endif
}
