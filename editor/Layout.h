// The editor window: which widget shows which parameter, with which skin
// bitmap, where, and how its bitmap is cut into frames. This is the one table
// of it: the editor places its views from it, the skin generator draws every
// bitmap for the place given here (and writes the lists that bind the bitmaps
// into the plug-in: the Windows resource script, the Linux embedding), and
// the tests check the skin and the window against it. Moving or resizing a
// control is one edit of its line in kControls.
//
// A control's tag is its parameter's index; 26 and 27 are the two meters.
// Nothing here includes anything: the skin generator, a build-machine tool,
// reads this file too.
#pragma once

namespace kvbeditor {

enum class ViewKind { Knob, Switch, Meter };

struct ControlLayout {
    int tag;
    ViewKind kind;
    int bitmapId;
    // The control's rectangle in the window; its bitmap is a strip of
    // `frames` pictures of width x height, top to bottom.
    int left, top;
    int width, height;
    int frames;

    // What follows from the above: the rectangle's far edges, and for knobs
    // (tags 0 to 17) the quantisation steps (a knob sends the nearest
    // multiple of 1/steps): one per frame, except a three-position
    // selector's two, so that it sends 0, 0.5 or 1. 0 for the others.
    int right, bottom;
    int steps;

    constexpr ControlLayout(int tag_, ViewKind kind_, int bitmapId_, int left_, int top_,
                            int width_, int height_, int frames_)
        : tag(tag_), kind(kind_), bitmapId(bitmapId_), left(left_), top(top_), width(width_),
          height(height_), frames(frames_), right(left_ + width_), bottom(top_ + height_),
          steps(kind_ != ViewKind::Knob ? 0 : (frames_ == 3 ? 2 : frames_)) {}
};

// The window and its background bitmap.
constexpr int kBackgroundBitmap = 101;
constexpr int kEditorWidth = 1100;
constexpr int kEditorHeight = 616;

constexpr int kNumControls = 28;
constexpr int kNumParamControls = 26;  // tags 0 to 25
constexpr int kNumKnobs = 18;          // tags 0 to 17
constexpr int kMeter1Tag = 26;
constexpr int kMeter2Tag = 27;

// In creation order: later views are drawn over earlier ones and get the
// mouse first where they overlap.
constexpr ControlLayout kControls[kNumControls] = {
    //  tag  kind            bitmap left  top  width height frames
    {0, ViewKind::Knob, 102, 21, 52, 119, 119, 24},     // OptThr1
    {1, ViewKind::Knob, 103, 151, 174, 119, 119, 24},   // OptGain1
    {2, ViewKind::Knob, 104, 22, 286, 119, 119, 24},    // DisThr1
    {3, ViewKind::Knob, 105, 162, 333, 92, 85, 6},      // DisAtk1
    {4, ViewKind::Knob, 106, 20, 452, 121, 110, 6},     // DisRat1
    {5, ViewKind::Knob, 107, 162, 454, 95, 91, 6},      // DisRls1
    {6, ViewKind::Knob, 108, 279, 408, 165, 155, 24},   // DisGain1
    {14, ViewKind::Knob, 109, 156, 45, 98, 106, 3},     // OptMode
    {16, ViewKind::Knob, 115, 464, 439, 67, 97, 3},     // Trafo1
    {7, ViewKind::Knob, 119, 958, 56, 128, 116, 24},    // OptThr2
    {8, ViewKind::Knob, 120, 830, 177, 128, 116, 24},   // OptGain2
    {9, ViewKind::Knob, 121, 959, 296, 128, 116, 24},   // DisThr2
    {10, ViewKind::Knob, 122, 841, 333, 105, 87, 6},    // DisAtk2
    {11, ViewKind::Knob, 123, 959, 454, 128, 114, 6},   // DisRat2
    {12, ViewKind::Knob, 124, 841, 463, 104, 87, 6},    // DisRls2
    {13, ViewKind::Knob, 125, 657, 417, 172, 153, 24},  // DisGain2
    {15, ViewKind::Knob, 126, 842, 44, 103, 110, 3},    // MeterMode
    {17, ViewKind::Knob, 116, 573, 441, 67, 97, 3},     // Trafo2
    {24, ViewKind::Switch, 110, 505, 346, 93, 83, 2},   // StereoMode
    {18, ViewKind::Switch, 111, 40, 182, 96, 79, 2},    // OptByp1
    {19, ViewKind::Switch, 112, 286, 336, 66, 48, 2},   // SCFilt1
    {20, ViewKind::Switch, 113, 398, 324, 95, 77, 2},   // DisByp1
    {25, ViewKind::Switch, 114, 524, 527, 59, 48, 2},   // MSMode
    {21, ViewKind::Switch, 127, 966, 182, 99, 68, 2},   // OptByp2
    {22, ViewKind::Switch, 128, 746, 339, 74, 40, 2},   // SCFilt2
    {23, ViewKind::Switch, 129, 609, 328, 96, 69, 2},   // DisByp2
    {26, ViewKind::Meter, 117, 322, 118, 186, 73, 61},  // first meter
    {27, ViewKind::Meter, 118, 595, 117, 186, 73, 61},  // second meter
};

// The two labels along the bottom edge (left, top, right, bottom).
struct LabelLayout {
    int left, top, right, bottom;
};
constexpr LabelLayout kCaptionLabel = {890, 601, 1096, 611};
constexpr LabelLayout kStatusLabel = {10, 595, 112, 610};

// A three-position selector (OptMode, MeterMode, Trafo1, Trafo2): three
// frames, one per mode.
constexpr bool isModeKnob(const ControlLayout& c) { return c.kind == ViewKind::Knob && c.frames == 3; }

// The layout of control `tag` (0 to 27), or null.
constexpr const ControlLayout* controlOf(int tag) {
    for (const ControlLayout& c : kControls)
        if (c.tag == tag) return &c;
    return nullptr;
}

// The step count of knob `tag` (0 to 17), from the table above.
constexpr int knobSteps(int tag) {
    const ControlLayout* c = controlOf(tag);
    return c && c->kind == ViewKind::Knob ? c->steps : 0;
}

// The frame count of knob `tag` (0 to 17): its number of positions.
constexpr int knobFrames(int tag) {
    const ControlLayout* c = controlOf(tag);
    return c && c->kind == ViewKind::Knob ? c->frames : 0;
}

// --- scales ------------------------------------------------------------------------
// The scales the skin is drawn for, in percent: every bitmap exists at each,
// drawn by the same code from the same table. At a scale the window and
// every rectangle above are kScaled(..., percent) device pixels: each edge is
// rounded on its own, so that neighbouring rectangles stay neighbours and a
// control's frames fit exactly where the editor places it.
constexpr int kNumScales = 5;
constexpr int kScalePercents[kNumScales] = {100, 125, 150, 175, 200};

// A window coordinate (or a length from 0) at `percent`, rounded to the
// nearest device pixel.
constexpr int scaled(int v, int percent) { return (v * percent + 50) / 100; }

// The skin scale to draw at for a host's factor (1.0 = 100 %): the nearest
// of kScalePercents, 100 for anything not a finite positive number.
constexpr int skinPercentFor(double factor) {
    if (!(factor > 0.0) || factor > 1e6) return 100;
    int best = kScalePercents[0];
    for (int p : kScalePercents) {
        const double d = factor * 100.0 - p, bestD = factor * 100.0 - best;
        if ((d < 0 ? -d : d) < (bestD < 0 ? -bestD : bestD)) best = p;
    }
    return best;
}

// The index of `percent` in kScalePercents, or -1.
constexpr int scaleIndex(int percent) {
    for (int i = 0; i < kNumScales; ++i)
        if (kScalePercents[i] == percent) return i;
    return -1;
}

// --- the skin's bitmaps -----------------------------------------------------------
// Every bitmap of the window: the background and one strip per control.
constexpr int kNumBitmaps = kNumControls + 1;

// The n-th smallest bitmap identifier (n from 0 to kNumBitmaps - 1): the
// order in which the skin lists, binds and finds its bitmaps.
constexpr int skinBitmapId(int n) {
    int id = kBackgroundBitmap;
    for (const ControlLayout& c : kControls) {
        int below = c.bitmapId > kBackgroundBitmap ? 1 : 0;
        for (const ControlLayout& d : kControls) below += d.bitmapId < c.bitmapId ? 1 : 0;
        if (below == n) id = c.bitmapId;
    }
    return id;
}

// The position of bitmap `id` in that order, or -1 when the skin has none.
constexpr int skinBitmapIndex(int id) {
    for (int n = 0; n < kNumBitmaps; ++n)
        if (skinBitmapId(n) == id) return n;
    return -1;
}

// The control that shows bitmap `id`, or null (the background, an unknown id).
constexpr const ControlLayout* controlWithBitmap(int id) {
    for (const ControlLayout& c : kControls)
        if (c.bitmapId == id) return &c;
    return nullptr;
}

// Every tag and every bitmap appears once; knobs have tags 0 to 17, switches
// 18 to 25 and two frames, meters 26 and 27; every control lies inside the
// window.
constexpr bool layoutIsConsistent() {
    for (const ControlLayout& c : kControls) {
        if (c.kind == ViewKind::Knob && (c.tag < 0 || c.tag >= kNumKnobs)) return false;
        if (c.kind == ViewKind::Switch && (c.frames != 2 || c.tag < kNumKnobs || c.tag >= kNumParamControls))
            return false;
        if (c.kind == ViewKind::Meter && c.tag != kMeter1Tag && c.tag != kMeter2Tag) return false;
        if (c.left < 0 || c.top < 0 || c.width <= 0 || c.height <= 0 || c.frames < 2 ||
            c.right > kEditorWidth || c.bottom > kEditorHeight)
            return false;
        int tags = 0, bitmaps = c.bitmapId == kBackgroundBitmap ? 1 : 0;
        for (const ControlLayout& d : kControls) {
            tags += d.tag == c.tag ? 1 : 0;
            bitmaps += d.bitmapId == c.bitmapId ? 1 : 0;
        }
        if (tags != 1 || bitmaps != 1) return false;
    }
    return true;
}
static_assert(layoutIsConsistent(), "control layout table");

}  // namespace kvbeditor
