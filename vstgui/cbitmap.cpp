#include <cstring>

#include "resources/SkinResources.h"
#include "shell/Module.h"
#include "vstgui/vstgui.h"

namespace VSTGUI {

CBitmap::CBitmap(long id) : resourceId(id) {
    const skin::Resource res = skin::findBitmap(hInstance, static_cast<int>(id));
    if (!res.data || res.size == 0) return;
    skin::Image image;
    if (!skin::decodeBmp(res.data, res.size, image)) return;
    const auto count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    if (image.width <= 0 || image.height <= 0 || image.pixels.size() != count) return;
    width = image.width;
    height = image.height;
    pixels = std::move(image.pixels);
}

CBitmap::CBitmap(long w, long h, const std::uint32_t* px) {
    if (w <= 0 || h <= 0 || !px) return;
    width = w;
    height = h;
    pixels.assign(px, px + static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
}

}  // namespace VSTGUI
