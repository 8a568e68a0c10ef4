#include "tests/support/TestPlugin.h"

#include "editor/EditorFactory.h"
#include "platform/Module.h"
#include "resources/SkinResources.h"
#include "shell/Controlsgui.h"

namespace kvbtest {

vst::AEffect* createPlugin(vst::AudioMasterCallback audioMaster) {
    static const skin::ModuleSkin skin(hInstance);
    static const ControlsguiEditorFactory editors(skin);
    return createEffectInstance(audioMaster, &editors);
}

}  // namespace kvbtest
