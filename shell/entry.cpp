// The library's exported entry point: the effect with its editor, which shows
// the skin bound into this module. The same function is exported a second
// time as "main" for older hosts (see the linker script / module definition).
#include "platform/Module.h"
#include "resources/SkinResources.h"
#include "shell/Controlsgui.h"
#include "shell/Vst2Editor.h"

#if defined(_WIN32)
#define KVB_EXPORT  // the module definition file names the exports
#else
#define KVB_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

KVB_EXPORT vst::AEffect* VSTPluginMain(
    vst::AudioMasterCallback audioMaster) {
    static const skin::ModuleSkin skin(hInstance);
    static const Vst2EditorFactory editors(skin);
    return createEffectInstance(audioMaster, &editors);
}

#if !defined(_WIN32)
// One function, two names.
KVB_EXPORT __attribute__((alias("VSTPluginMain"))) vst::AEffect* kvbMainAlias(
    vst::AudioMasterCallback audioMaster) __asm__("main");
#endif
}
