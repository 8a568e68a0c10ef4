// The library's exported entry point. The same function is exported a second
// time as "main" for older hosts (see the linker script / module definition).
#include "shell/Controlsgui.h"

#if defined(_WIN32)
#define KVB_EXPORT  // the module definition file names the exports
#else
#define KVB_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

KVB_EXPORT vst::AEffect* VSTPluginMain(
    vst::AudioMasterCallback audioMaster) {
    return createEffectInstance(audioMaster);
}

#if !defined(_WIN32)
// One function, two names.
KVB_EXPORT __attribute__((alias("VSTPluginMain"))) vst::AEffect* kvbMainAlias(
    vst::AudioMasterCallback audioMaster) __asm__("main");
#endif
}
