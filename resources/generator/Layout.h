// The skin as the generator draws it: every bitmap of the editor's layout
// table (editor/Layout.h), in the order of their identifiers, with the window
// position of the control that shows it. The editor places each control at
// (left, top) with the size of one frame, so a control's frames must carry
// the panel pixels of exactly that rectangle.
#pragma once

#include "editor/Layout.h"

namespace skingen {

constexpr int kWindowWidth = kvbeditor::kEditorWidth;
constexpr int kWindowHeight = kvbeditor::kEditorHeight;

enum class Kind { Background, Knob, Switch, Meter };

struct SkinImage {
    int id;
    int width;
    int height;  // whole strip
    int frames;
    int left;    // window position of the control
    int top;
    Kind kind;
    int param;   // parameter index shown by the control, -1 for none
};

constexpr SkinImage skinImage(int n) {
    const int id = kvbeditor::skinBitmapId(n);
    const kvbeditor::ControlLayout* c = kvbeditor::controlWithBitmap(id);
    if (!c) return {id, kWindowWidth, kWindowHeight, 1, 0, 0, Kind::Background, -1};
    const Kind kind = c->kind == kvbeditor::ViewKind::Knob     ? Kind::Knob
                      : c->kind == kvbeditor::ViewKind::Switch ? Kind::Switch
                                                               : Kind::Meter;
    return {id, c->width, c->height * c->frames, c->frames, c->left, c->top, kind, c->tag};
}

struct SkinImages {
    SkinImage images[kvbeditor::kNumBitmaps];
    constexpr SkinImages() : images{} {
        for (int n = 0; n < kvbeditor::kNumBitmaps; ++n) images[n] = skinImage(n);
    }
};

constexpr int kImageCount = kvbeditor::kNumBitmaps;
inline constexpr SkinImages kSkinImages{};
inline constexpr const SkinImage (&kImages)[kImageCount] = kSkinImages.images;

inline int frameHeight(const SkinImage& s) { return s.height / s.frames; }

// A control's rectangle at a scale, in device pixels (kvbeditor::scaled).
struct ScaledRect {
    int left, top, width, frameHeight;
};
inline ScaledRect scaledRect(const SkinImage& s, int percent) {
    using kvbeditor::scaled;
    const int fh = frameHeight(s);
    return {scaled(s.left, percent), scaled(s.top, percent),
            scaled(s.left + s.width, percent) - scaled(s.left, percent),
            scaled(s.top + fh, percent) - scaled(s.top, percent)};
}
using kvbeditor::scaled;

}  // namespace skingen
