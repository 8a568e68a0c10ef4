// The plug-in as VSTPluginMain builds it, in the test program: the entry
// sequence with the editor, which shows the skin linked into this program.
#pragma once

#include "interface/vst24.h"

namespace kvbtest {

vst::AEffect* createPlugin(vst::AudioMasterCallback audioMaster);

}  // namespace kvbtest
