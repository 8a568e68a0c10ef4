#include "tests/support/TestPlugin.h"

#include "platform/Module.h"
#include "resources/SkinResources.h"
#include "shell/Controlsgui.h"
#include "shell/Vst2Editor.h"

namespace kvbtest {

vst::AEffect* createPlugin(vst::AudioMasterCallback audioMaster) {
    static const skin::ModuleSkin skin(hInstance);
    static const Vst2EditorFactory editors(skin);
    return createEffectInstance(audioMaster, &editors);
}

}  // namespace kvbtest
