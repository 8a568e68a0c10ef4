#include <utility>

#include "vstgui/vstgui.h"

namespace VSTGUI {

CBitmap::CBitmap(const ModuleResources& module, long id) : resourceId(id) {
    long w = 0, h = 0;
    std::vector<std::uint32_t> px;
    if (!module.loadBitmap(id, w, h, px)) return;
    if (w <= 0 || h <= 0 || px.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(h))
        return;
    width = w;
    height = h;
    pixels = std::move(px);
}

CBitmap::CBitmap(long w, long h, const std::uint32_t* px) {
    if (w <= 0 || h <= 0 || !px) return;
    width = w;
    height = h;
    pixels.assign(px, px + static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
}

}  // namespace VSTGUI
