// Where every skin image sits in the editor window and how it is cut into
// frames. The editor places each control at (left, top) with the size of one
// frame, so a control's frames must carry the panel pixels of exactly that
// rectangle.
#pragma once

namespace skingen {

constexpr int kWindowWidth = 1100;
constexpr int kWindowHeight = 616;

enum class Kind { Background, Knob, Button, Toggle, Meter };

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

constexpr SkinImage kImages[] = {
    {101, 1100, 616, 1, 0, 0, Kind::Background, -1},
    {102, 119, 2856, 24, 21, 52, Kind::Knob, 0},     // OptThr1
    {103, 119, 2856, 24, 151, 174, Kind::Knob, 1},   // OptGain1
    {104, 119, 2856, 24, 22, 286, Kind::Knob, 2},    // DisThr1
    {105, 92, 510, 6, 162, 333, Kind::Knob, 3},      // DisAtk1
    {106, 121, 660, 6, 20, 452, Kind::Knob, 4},      // DisRat1
    {107, 95, 546, 6, 162, 454, Kind::Knob, 5},      // DisRls1
    {108, 165, 3720, 24, 279, 408, Kind::Knob, 6},   // DisGain1
    {109, 98, 318, 3, 156, 45, Kind::Knob, 14},      // OptMode
    {110, 93, 166, 2, 505, 346, Kind::Toggle, 24},   // StereoMode
    {111, 96, 158, 2, 40, 182, Kind::Button, 18},    // OptByp1
    {112, 66, 96, 2, 286, 336, Kind::Toggle, 19},    // SCFilt1
    {113, 95, 154, 2, 398, 324, Kind::Button, 20},   // DisByp1
    {114, 59, 96, 2, 524, 527, Kind::Toggle, 25},    // MSMode
    {115, 67, 291, 3, 464, 439, Kind::Knob, 16},     // Trafo1
    {116, 67, 291, 3, 573, 441, Kind::Knob, 17},     // Trafo2
    {117, 186, 4453, 61, 322, 118, Kind::Meter, 26},  // first meter
    {118, 186, 4453, 61, 595, 117, Kind::Meter, 27},  // second meter
    {119, 128, 2784, 24, 958, 56, Kind::Knob, 7},    // OptThr2
    {120, 128, 2784, 24, 830, 177, Kind::Knob, 8},   // OptGain2
    {121, 128, 2784, 24, 959, 296, Kind::Knob, 9},   // DisThr2
    {122, 105, 522, 6, 841, 333, Kind::Knob, 10},    // DisAtk2
    {123, 128, 684, 6, 959, 454, Kind::Knob, 11},    // DisRat2
    {124, 104, 522, 6, 841, 463, Kind::Knob, 12},    // DisRls2
    {125, 172, 3672, 24, 657, 417, Kind::Knob, 13},  // DisGain2
    {126, 103, 330, 3, 842, 44, Kind::Knob, 15},     // MeterMode
    {127, 99, 136, 2, 966, 182, Kind::Button, 21},   // OptByp2
    {128, 74, 80, 2, 746, 339, Kind::Toggle, 22},    // SCFilt2
    {129, 96, 138, 2, 609, 328, Kind::Button, 23},   // DisByp2
};

constexpr int kImageCount = sizeof(kImages) / sizeof(kImages[0]);

inline int frameHeight(const SkinImage& s) { return s.height / s.frames; }

}  // namespace skingen
