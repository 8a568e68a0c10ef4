// A build without a window back end: the editor exists, answers its size and
// refuses to open. Used until a platform's own back end is added.
#include "vstgui/platform/Platform.h"

namespace VSTGUI {
namespace platform {

std::unique_ptr<Window> createNativeWindow() { return nullptr; }

}  // namespace platform
}  // namespace VSTGUI
