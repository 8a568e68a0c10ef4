// The editor window's views: which widget shows which parameter, with which
// skin bitmap, where, and in which order they are created. A control's tag is
// its parameter's index; 26 and 27 are the two meters.
#pragma once

namespace kvbeditor {

enum class ViewKind { Knob, Switch, Meter };

struct ControlLayout {
    int tag;
    ViewKind kind;
    int bitmapId;
    int left, top;
    // The edges that follow from the bitmap's size: left + width, top +
    // height / frames.
    int right, bottom;
    int frames;
    // Quantisation steps for knobs (tags 0 to 17): a knob sends the nearest
    // multiple of 1/steps. 0 for the others.
    int steps;
};

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
    {0, ViewKind::Knob, 102, 21, 52, 140, 171, 24, 24},      // OptThr1
    {1, ViewKind::Knob, 103, 151, 174, 270, 293, 24, 24},    // OptGain1
    {2, ViewKind::Knob, 104, 22, 286, 141, 405, 24, 24},     // DisThr1
    {3, ViewKind::Knob, 105, 162, 333, 254, 418, 6, 6},      // DisAtk1
    {4, ViewKind::Knob, 106, 20, 452, 141, 562, 6, 6},       // DisRat1
    {5, ViewKind::Knob, 107, 162, 454, 257, 545, 6, 6},      // DisRls1
    {6, ViewKind::Knob, 108, 279, 408, 444, 563, 24, 24},    // DisGain1
    {14, ViewKind::Knob, 109, 156, 45, 254, 151, 3, 2},      // OptMode
    {16, ViewKind::Knob, 115, 464, 439, 531, 536, 3, 2},     // Trafo1
    {7, ViewKind::Knob, 119, 958, 56, 1086, 172, 24, 24},    // OptThr2
    {8, ViewKind::Knob, 120, 830, 177, 958, 293, 24, 24},    // OptGain2
    {9, ViewKind::Knob, 121, 959, 296, 1087, 412, 24, 24},   // DisThr2
    {10, ViewKind::Knob, 122, 841, 333, 946, 420, 6, 6},     // DisAtk2
    {11, ViewKind::Knob, 123, 959, 454, 1087, 568, 6, 6},    // DisRat2
    {12, ViewKind::Knob, 124, 841, 463, 945, 550, 6, 6},     // DisRls2
    {13, ViewKind::Knob, 125, 657, 417, 829, 570, 24, 24},   // DisGain2
    {15, ViewKind::Knob, 126, 842, 44, 945, 154, 3, 2},      // MeterMode
    {17, ViewKind::Knob, 116, 573, 441, 640, 538, 3, 2},     // Trafo2
    {24, ViewKind::Switch, 110, 505, 346, 598, 429, 2, 0},   // StereoMode
    {18, ViewKind::Switch, 111, 40, 182, 136, 261, 2, 0},    // OptByp1
    {19, ViewKind::Switch, 112, 286, 336, 352, 384, 2, 0},   // SCFilt1
    {20, ViewKind::Switch, 113, 398, 324, 493, 401, 2, 0},   // DisByp1
    {25, ViewKind::Switch, 114, 524, 527, 583, 575, 2, 0},   // MSMode
    {21, ViewKind::Switch, 127, 966, 182, 1065, 250, 2, 0},  // OptByp2
    {22, ViewKind::Switch, 128, 746, 339, 820, 379, 2, 0},   // SCFilt2
    {23, ViewKind::Switch, 129, 609, 328, 705, 397, 2, 0},   // DisByp2
    {26, ViewKind::Meter, 117, 322, 118, 508, 191, 61, 0},   // first meter
    {27, ViewKind::Meter, 118, 595, 117, 781, 190, 61, 0},   // second meter
};

// The two labels along the bottom edge (left, top, right, bottom).
struct LabelLayout {
    int left, top, right, bottom;
};
constexpr LabelLayout kCaptionLabel = {890, 601, 1096, 611};
constexpr LabelLayout kStatusLabel = {10, 595, 112, 610};

// A three-position selector (OptMode, MeterMode, Trafo1, Trafo2): three
// frames, one per mode, and two steps, so that it sends 0, 0.5 or 1.
constexpr bool isModeKnob(const ControlLayout& c) { return c.kind == ViewKind::Knob && c.frames == 3; }

// The step count of knob `tag` (0 to 17), from the table above.
constexpr int knobSteps(int tag) {
    for (const ControlLayout& c : kControls)
        if (c.tag == tag && c.kind == ViewKind::Knob) return c.steps;
    return 0;
}

// The frame count of knob `tag` (0 to 17): its number of positions.
constexpr int knobFrames(int tag) {
    for (const ControlLayout& c : kControls)
        if (c.tag == tag && c.kind == ViewKind::Knob) return c.frames;
    return 0;
}

// Every knob's step count equals its frame count, except a three-position
// selector's, which is 2; every tag appears once.
constexpr bool layoutIsConsistent() {
    for (const ControlLayout& c : kControls) {
        if (c.kind == ViewKind::Knob &&
            (c.steps != (isModeKnob(c) ? 2 : c.frames) || c.tag < 0 || c.tag >= kNumKnobs))
            return false;
        if (c.kind == ViewKind::Switch && (c.frames != 2 || c.tag < kNumKnobs || c.tag >= kNumParamControls))
            return false;
        int seen = 0;
        for (const ControlLayout& d : kControls) seen += d.tag == c.tag ? 1 : 0;
        if (seen != 1) return false;
    }
    return true;
}
static_assert(layoutIsConsistent(), "control layout table");

}  // namespace kvbeditor
