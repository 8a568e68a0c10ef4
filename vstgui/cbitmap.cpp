#include <algorithm>
#include <memory>

#include "vstgui/vstgui.h"

namespace VSTGUI {

CBitmap::CBitmap(const ModuleResources& module, long id, int percent) : resourceId(id) {
    SharedPixels px;
    if (!module.loadBitmap(id, percent, px)) return;
    if (px.width <= 0 || px.height <= 0 || !px.pixels) return;
    width = px.width;
    height = px.height;
    pixels = std::move(px.pixels);
}

CBitmap::CBitmap(long w, long h, const std::uint32_t* px) {
    if (w <= 0 || h <= 0 || !px) return;
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::shared_ptr<std::uint32_t> copy(new std::uint32_t[n], std::default_delete<std::uint32_t[]>());
    std::copy(px, px + n, copy.get());
    width = w;
    height = h;
    pixels = std::move(copy);
}

}  // namespace VSTGUI
