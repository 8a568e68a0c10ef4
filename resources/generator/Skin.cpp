#include "Skin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Painter.h"

namespace skingen {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Palette: anthracite panel, warm off-white print, amber accents.
const Rgb kPanelTop = rgb(0x383a3f);
const Rgb kPanelBottom = rgb(0x25262a);
const Rgb kPrint = rgb(0xdcd8cc);
const Rgb kPrintDim = rgb(0x9d998f);
const Rgb kAccent = rgb(0xf0a23c);
const Rgb kScale = rgb(0xb9b5a9);
const Rgb kOptColor = rgb(0xf0a23c);  // the Opt stage's controls
const Rgb kDisColor = rgb(0x7cc0e8);  // the Dis stage's controls

// A control's name, centred at (x, y): a leading "OPT" or "DIS" takes its
// stage's colour so that each stage's controls read as one group.
void drawName(cairo_t* cr, double x, double y, const std::string& name) {
    constexpr double kSize = 9, kTrack = 0.6;
    const std::string prefix = name.substr(0, 4);
    if (prefix != "OPT " && prefix != "DIS ") {
        drawText(cr, x, y, name, kSize, Align::Center, true, kPrint, kTrack);
        return;
    }
    const std::string rest = name.substr(4);
    const double wp = textWidth(cr, prefix, kSize, true, kTrack) + kTrack;
    const double wr = textWidth(cr, rest, kSize, true, kTrack);
    const double x0 = x - (wp + wr) / 2;
    drawText(cr, x0, y, prefix, kSize, Align::Left, true, prefix == "OPT " ? kOptColor : kDisColor,
             kTrack);
    drawText(cr, x0 + wp, y, rest, kSize, Align::Left, true, kPrint, kTrack);
}

// ---------------------------------------------------------------------------
// Knobs

struct Mark {
    double value;  // normalised position 0..1
    std::string text;
};

// Where a control is drawn comes from the editor's layout table: the looks
// below give their positions from the control's top-left corner, so that a
// control moved there takes its print on the panel along.
// The window position of the point (x, y) of control `param`'s rectangle.
double windowX(int param, double x) { return kvbeditor::controlOf(param)->left + x; }
double windowY(int param, double y) { return kvbeditor::controlOf(param)->top + y; }

struct KnobLook {
    int param;
    double cx, cy;  // the knob's centre (window coordinates once built)
    double radius;
    double sweep;   // half of the pointer's travel, degrees
    std::string name;
    std::vector<Mark> labels;
    int ticks;      // evenly spaced scale ticks over the travel (0: labels only)
    std::string unit;
};

std::vector<Mark> dbLabels(double lo, double hi, double step) {
    std::vector<Mark> out;
    for (double db = lo; db <= hi + 1e-9; db += step) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%g", db);
        out.push_back({(db - lo) / (hi - lo), buf});
    }
    return out;
}

std::vector<Mark> stepLabels(std::initializer_list<const char*> texts) {
    std::vector<Mark> out;
    const double n = static_cast<double>(texts.size() - 1);
    int i = 0;
    for (const char* t : texts) out.push_back({i++ / n, t});
    return out;
}

const std::vector<KnobLook>& knobLooks() {
    static const std::vector<KnobLook> looks = [] {
        const auto optThr = dbLabels(-60, -10, 10);
        const auto disThr = dbLabels(-40, 0, 10);
        const auto gain = dbLabels(0, 15, 3);
        const auto attack = stepLabels({"0.044", "0.22", "0.44", "2.3", "4.5", "11"});
        const auto ratio = stepLabels({"1.25", "2", "3", "4", "5", "10"});
        const auto release = stepLabels({"45", "113", "227", "349", "515", "756"});
        const auto optMode = stepLabels({"SLOW", "MED", "FAST"});
        const auto meterMode = stepLabels({"OPT", "DIS", "OPT/DIS"});
        const auto trafo = stepLabels({"1", "2", "3"});
        std::vector<KnobLook> out{
            {0, 59.5, 57.5, 27, 135, "OPT THRESHOLD", optThr, 11, "dB"},
            {1, 59.5, 57.5, 27, 135, "OPT GAIN", gain, 16, "dB"},
            {2, 59.5, 57.5, 27, 135, "DIS THRESHOLD", disThr, 9, "dB"},
            {3, 46, 40, 19, 135, "DIS ATTACK", attack, 0, "ms"},
            {4, 60.5, 53, 24, 135, "DIS RATIO", ratio, 0, ""},
            {5, 47.5, 43, 19, 135, "DIS RELEASE", release, 0, "ms"},
            {6, 82.5, 75, 40, 135, "DIS GAIN", gain, 16, "dB"},
            {7, 64, 56, 27, 135, "OPT THRESHOLD", optThr, 11, "dB"},
            {8, 64, 56, 27, 135, "OPT GAIN", gain, 16, "dB"},
            {9, 64, 56, 27, 135, "DIS THRESHOLD", disThr, 9, "dB"},
            {10, 52.5, 41, 19, 135, "DIS ATTACK", attack, 0, "ms"},
            {11, 64, 55, 24, 135, "DIS RATIO", ratio, 0, ""},
            {12, 52, 41, 19, 135, "DIS RELEASE", release, 0, "ms"},
            {13, 86, 74, 40, 135, "DIS GAIN", gain, 16, "dB"},
            {14, 49, 57, 17, 60, "OPT MODE", optMode, 0, ""},
            {15, 51.5, 59, 17, 60, "METER", meterMode, 0, ""},
            {16, 33.5, 51, 13, 60, "TRAFO", trafo, 0, ""},
            {17, 33.5, 51, 13, 60, "TRAFO", trafo, 0, ""},
        };
        for (KnobLook& k : out) {
            k.cx = windowX(k.param, k.cx);
            k.cy = windowY(k.param, k.cy);
        }
        return out;
    }();
    return looks;
}

const KnobLook* knobLook(int param) {
    for (const auto& k : knobLooks())
        if (k.param == param) return &k;
    return nullptr;
}

double knobAngle(const KnobLook& k, double v) { return -k.sweep + 2.0 * k.sweep * v; }

double labelSize(const KnobLook& k) { return k.radius >= 24 ? 8.5 : 8.0; }

void paintKnobScale(cairo_t* cr, const KnobLook& k) {
    const double r = k.radius;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    setColor(cr, kScale);
    if (k.ticks > 1) {
        cairo_set_line_width(cr, 1.0);
        for (int i = 0; i < k.ticks; ++i) {
            const double a = knobAngle(k, i / double(k.ticks - 1));
            cairo_move_to(cr, polarX(k.cx, r + 5, a), polarY(k.cy, r + 5, a));
            cairo_line_to(cr, polarX(k.cx, r + 8, a), polarY(k.cy, r + 8, a));
        }
        cairo_stroke(cr);
    }
    cairo_set_line_width(cr, 1.6);
    for (const auto& m : k.labels) {
        const double a = knobAngle(k, m.value);
        cairo_move_to(cr, polarX(k.cx, r + 4.5, a), polarY(k.cy, r + 4.5, a));
        cairo_line_to(cr, polarX(k.cx, r + 10, a), polarY(k.cy, r + 10, a));
    }
    cairo_stroke(cr);

    const double size = labelSize(k);
    for (const auto& m : k.labels) {
        const double a = knobAngle(k, m.value);
        const double w = textWidth(cr, m.text, size, false);
        const double capH = size * 0.716;
        const double s = std::fabs(std::sin(a * kPi / 180.0));
        const double c = std::fabs(std::cos(a * kPi / 180.0));
        const double dist = r + 13 + s * w / 2.0 + c * capH / 2.0;
        drawText(cr, polarX(k.cx, dist, a), polarY(k.cy, dist, a), m.text, size, Align::Center,
                 false, kPrint);
    }

    // Name (and unit) in the gap under the knob.
    const double nameY = k.sweep > 90 ? k.cy + r + 21 : k.cy + r + 13;
    drawName(cr, k.cx, nameY, k.name);
    if (!k.unit.empty() && k.sweep > 90) {
        drawText(cr, k.cx, k.cy + r + 8, k.unit, 7.5, Align::Center, false, kPrintDim);
    }
}

void paintKnob(cairo_t* cr, const KnobLook& k, double angle) {
    const double cx = k.cx, cy = k.cy, r = k.radius;

    // Drop shadow.
    cairo_pattern_t* sh = cairo_pattern_create_radial(cx + 1.0, cy + 2.5, r * 0.8, cx + 1.0,
                                                      cy + 2.5, r + 4.0);
    cairo_pattern_add_color_stop_rgba(sh, 0, 0, 0, 0, 0.55);
    cairo_pattern_add_color_stop_rgba(sh, 1, 0, 0, 0, 0);
    cairo_set_source(cr, sh);
    cairo_arc(cr, cx + 1.0, cy + 2.5, r + 4.0, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(sh);

    // Skirt.
    cairo_pattern_t* skirt = cairo_pattern_create_linear(0, cy - r, 0, cy + r);
    cairo_pattern_add_color_stop_rgb(skirt, 0, 0.36, 0.37, 0.40);
    cairo_pattern_add_color_stop_rgb(skirt, 1, 0.07, 0.07, 0.08);
    cairo_set_source(cr, skirt);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(skirt);

    // Knurled grip turning with the knob.
    const int grooves = r > 30 ? 60 : (r > 18 ? 40 : 28);
    cairo_set_line_width(cr, r > 18 ? 1.1 : 0.9);
    for (int i = 0; i < grooves; ++i) {
        const double a = angle + 360.0 * i / grooves;
        const double lit = 0.5 + 0.5 * std::cos(a * kPi / 180.0);  // brighter towards the top
        cairo_set_source_rgba(cr, 1, 1, 1, 0.05 + 0.16 * lit);
        cairo_move_to(cr, polarX(cx, r * 0.80, a), polarY(cy, r * 0.80, a));
        cairo_line_to(cr, polarX(cx, r - 0.8, a), polarY(cy, r - 0.8, a));
        cairo_stroke(cr);
    }
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_arc(cr, cx, cy, r - 0.5, 0, 2 * kPi);
    cairo_stroke(cr);

    // Cap: dark satin with concentric machining and a soft top light.
    const double capR = r * 0.76;
    cairo_pattern_t* cap = cairo_pattern_create_linear(cx - capR, cy - capR, cx + capR, cy + capR);
    cairo_pattern_add_color_stop_rgb(cap, 0, 0.30, 0.31, 0.33);
    cairo_pattern_add_color_stop_rgb(cap, 1, 0.12, 0.12, 0.13);
    cairo_set_source(cr, cap);
    cairo_arc(cr, cx, cy, capR, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(cap);
    Noise n(static_cast<std::uint32_t>(k.param * 7919 + 17));
    cairo_set_line_width(cr, 0.6);
    for (double rr = 1.5; rr < capR - 1; rr += 1.2) {
        cairo_set_source_rgba(cr, 1, 1, 1, 0.015 + 0.03 * n.uniform());
        cairo_arc(cr, cx, cy, rr, 0, 2 * kPi);
        cairo_stroke(cr);
    }
    cairo_pattern_t* glow = cairo_pattern_create_radial(cx - capR * 0.3, cy - capR * 0.55, 0,
                                                        cx - capR * 0.3, cy - capR * 0.55, capR);
    cairo_pattern_add_color_stop_rgba(glow, 0, 1, 1, 1, 0.20);
    cairo_pattern_add_color_stop_rgba(glow, 1, 1, 1, 1, 0);
    cairo_set_source(cr, glow);
    cairo_arc(cr, cx, cy, capR, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(glow);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
    cairo_arc(cr, cx, cy, capR - 0.5, -kPi * 0.95, -kPi * 0.05);
    cairo_stroke(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_arc(cr, cx, cy, capR + 0.3, kPi * 0.05, kPi * 0.95);
    cairo_stroke(cr);

    // Pointer: a white line over the cap and an amber notch on the skirt.
    const double pw = std::max(1.8, r * 0.075);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, pw + 1.2);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
    cairo_move_to(cr, polarX(cx, capR * 0.30, angle), polarY(cy, capR * 0.30, angle));
    cairo_line_to(cr, polarX(cx, capR - 1.5, angle), polarY(cy, capR - 1.5, angle));
    cairo_stroke(cr);
    cairo_set_line_width(cr, pw);
    setColor(cr, rgb(0xf4f1e8));
    cairo_move_to(cr, polarX(cx, capR * 0.30, angle), polarY(cy, capR * 0.30, angle));
    cairo_line_to(cr, polarX(cx, capR - 1.5, angle), polarY(cy, capR - 1.5, angle));
    cairo_stroke(cr);
    cairo_set_line_width(cr, pw);
    setColor(cr, kAccent);
    cairo_move_to(cr, polarX(cx, capR + 1.5, angle), polarY(cy, capR + 1.5, angle));
    cairo_line_to(cr, polarX(cx, r - 1.2, angle), polarY(cy, r - 1.2, angle));
    cairo_stroke(cr);
}

// ---------------------------------------------------------------------------
// Switches

enum class SwitchStyle { Button, Lever };

struct SwitchLook {
    int param;
    SwitchStyle style;
    double cx, cy;           // centre of the button or lever nut (window coordinates once built)
    std::string name;
    double nameX, nameY;     // likewise
    std::string onLegend;    // toggles: legend at the "on" end (lever up)
    std::string offLegend;   // toggles: legend at the "off" end (lever down)
};

const std::vector<SwitchLook>& switchLooks() {
    static const std::vector<SwitchLook> looks = [] {
        constexpr SwitchStyle kPush = SwitchStyle::Button, kToggle = SwitchStyle::Lever;
        std::vector<SwitchLook> out{
            // Bypass buttons: LED above, button below it, name underneath.
            {18, kPush, 48, 42, "OPT BYPASS", 48, 70, "", ""},
            {20, kPush, 47.5, 40, "DIS BYPASS", 47.5, 68, "", ""},
            {21, kPush, 49.5, 36, "OPT BYPASS", 49.5, 61, "", ""},
            {23, kPush, 48, 36, "DIS BYPASS", 48, 62, "", ""},
            // Lever toggles: up is on, down is off.
            {19, kToggle, 33, 24, "SC FILTER", 33, -18, "FULL", "LO CUT"},
            {22, kToggle, 37, 20, "SC FILTER", 37, -21, "FULL", "LO CUT"},
            {24, kToggle, 46.5, 46, "STEREO", 46.5, -10, "DUAL", "LINK"},
            {25, kToggle, 29.5, 24, "MATRIX", 15, 24, "L/R", "M/S"},
        };
        for (SwitchLook& w : out) {
            w.cx = windowX(w.param, w.cx);
            w.cy = windowY(w.param, w.cy);
            w.nameX = windowX(w.param, w.nameX);
            w.nameY = windowY(w.param, w.nameY);
        }
        return out;
    }();
    return looks;
}

const SwitchLook* switchLook(int param) {
    for (const auto& s : switchLooks())
        if (s.param == param) return &s;
    return nullptr;
}

constexpr double kLever = 13.0;  // lever length from the nut's centre

void paintToggleLegends(cairo_t* cr, const SwitchLook& s) {
    drawText(cr, s.cx, s.cy - kLever - 12, s.onLegend, 8, Align::Center, false, kPrint);
    drawText(cr, s.cx, s.cy + kLever + 12, s.offLegend, 8, Align::Center, false, kPrint);
    if (s.nameX < s.cx - 10)
        drawText(cr, s.nameX, s.nameY, s.name, 9, Align::Right, true, kPrint, 0.6);
    else
        drawName(cr, s.nameX, s.nameY, s.name);
    // Mounting plate with a recessed washer.
    cairo_set_source_rgba(cr, 0, 0, 0, 0.30);
    roundedRect(cr, s.cx - 11, s.cy - 11, 22, 22, 4);
    cairo_fill(cr);
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
    roundedRect(cr, s.cx - 10.5, s.cy - 10.5, 21, 21, 4);
    cairo_stroke(cr);
}

void paintToggle(cairo_t* cr, const SwitchLook& s, bool on) {
    const double cx = s.cx, cy = s.cy;
    // Washer.
    cairo_set_source_rgb(cr, 0.09, 0.09, 0.10);
    cairo_arc(cr, cx, cy, 8.5, 0, 2 * kPi);
    cairo_fill(cr);
    // Hex nut.
    cairo_pattern_t* nut = cairo_pattern_create_linear(cx - 7, cy - 7, cx + 7, cy + 7);
    cairo_pattern_add_color_stop_rgb(nut, 0, 0.86, 0.86, 0.88);
    cairo_pattern_add_color_stop_rgb(nut, 0.5, 0.55, 0.55, 0.58);
    cairo_pattern_add_color_stop_rgb(nut, 1, 0.28, 0.28, 0.30);
    cairo_set_source(cr, nut);
    for (int i = 0; i < 6; ++i) {
        const double a = 30.0 + 60.0 * i;
        if (i == 0)
            cairo_move_to(cr, polarX(cx, 7.2, a), polarY(cy, 7.2, a));
        else
            cairo_line_to(cr, polarX(cx, 7.2, a), polarY(cy, 7.2, a));
    }
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_pattern_destroy(nut);
    cairo_set_source_rgb(cr, 0.12, 0.12, 0.13);
    cairo_arc(cr, cx, cy, 3.8, 0, 2 * kPi);
    cairo_fill(cr);

    // Chrome bat lever towards the legend of the current state.
    const double dir = on ? -1.0 : 1.0;
    const double tipY = cy + dir * kLever;
    cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 6.0);
    cairo_move_to(cr, cx + 1.5, cy + 2);
    cairo_line_to(cr, cx + 1.5, tipY + 2);
    cairo_stroke(cr);
    cairo_pattern_t* lever = cairo_pattern_create_linear(cx - 4, 0, cx + 4, 0);
    cairo_pattern_add_color_stop_rgb(lever, 0, 0.45, 0.45, 0.47);
    cairo_pattern_add_color_stop_rgb(lever, 0.35, 0.98, 0.98, 0.99);
    cairo_pattern_add_color_stop_rgb(lever, 0.7, 0.62, 0.62, 0.64);
    cairo_pattern_add_color_stop_rgb(lever, 1, 0.35, 0.35, 0.37);
    cairo_set_source(cr, lever);
    cairo_move_to(cr, cx - 2.0, cy);
    cairo_line_to(cr, cx - 3.2, tipY);
    cairo_line_to(cr, cx + 3.2, tipY);
    cairo_line_to(cr, cx + 2.0, cy);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_arc(cr, cx, tipY, 4.0, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(lever);
    cairo_set_line_width(cr, 0.8);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_arc(cr, cx, tipY, 4.0, 0, 2 * kPi);
    cairo_stroke(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.9);
    cairo_arc(cr, cx - 1.2, tipY - 1.2, 1.2, 0, 2 * kPi);
    cairo_fill(cr);
}

constexpr double kButtonW = 40, kButtonH = 20;

void paintButtonBase(cairo_t* cr, const SwitchLook& s) {
    drawName(cr, s.nameX, s.nameY, s.name);
    // Recess around the button.
    cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
    roundedRect(cr, s.cx - kButtonW / 2 - 3, s.cy - kButtonH / 2 - 3, kButtonW + 6, kButtonH + 6,
                5);
    cairo_fill(cr);
    // LED bezel.
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_arc(cr, s.cx, s.cy - kButtonH / 2 - 12, 5.5, 0, 2 * kPi);
    cairo_fill(cr);
}

void paintButton(cairo_t* cr, const SwitchLook& s, bool on) {
    const double x = s.cx - kButtonW / 2, y = s.cy - kButtonH / 2 + (on ? 1 : 0);
    cairo_pattern_t* face = cairo_pattern_create_linear(0, y, 0, y + kButtonH);
    if (on) {
        cairo_pattern_add_color_stop_rgb(face, 0, 0.16, 0.16, 0.17);
        cairo_pattern_add_color_stop_rgb(face, 1, 0.26, 0.27, 0.29);
    } else {
        cairo_pattern_add_color_stop_rgb(face, 0, 0.42, 0.43, 0.46);
        cairo_pattern_add_color_stop_rgb(face, 1, 0.20, 0.21, 0.23);
    }
    cairo_set_source(cr, face);
    roundedRect(cr, x, y, kButtonW, kButtonH - (on ? 1 : 0), 3);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(face);
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.8);
    cairo_stroke(cr);
    if (!on) {
        cairo_set_source_rgba(cr, 1, 1, 1, 0.25);
        cairo_move_to(cr, x + 3, y + 1.5);
        cairo_line_to(cr, x + kButtonW - 3, y + 1.5);
        cairo_stroke(cr);
    }

    // LED.
    const double lx = s.cx, ly = s.cy - kButtonH / 2 - 12;
    if (on) {
        cairo_pattern_t* halo = cairo_pattern_create_radial(lx, ly, 2, lx, ly, 11);
        cairo_pattern_add_color_stop_rgba(halo, 0, 1.0, 0.25, 0.12, 0.55);
        cairo_pattern_add_color_stop_rgba(halo, 1, 1.0, 0.25, 0.12, 0);
        cairo_set_source(cr, halo);
        cairo_arc(cr, lx, ly, 11, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_pattern_destroy(halo);
    }
    cairo_pattern_t* led = cairo_pattern_create_radial(lx - 1, ly - 1, 0.5, lx, ly, 4);
    if (on) {
        cairo_pattern_add_color_stop_rgb(led, 0, 1.0, 0.85, 0.75);
        cairo_pattern_add_color_stop_rgb(led, 0.5, 1.0, 0.25, 0.12);
        cairo_pattern_add_color_stop_rgb(led, 1, 0.75, 0.08, 0.04);
    } else {
        cairo_pattern_add_color_stop_rgb(led, 0, 0.45, 0.20, 0.18);
        cairo_pattern_add_color_stop_rgb(led, 1, 0.18, 0.05, 0.04);
    }
    cairo_set_source(cr, led);
    cairo_arc(cr, lx, ly, 4, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(led);
}

// ---------------------------------------------------------------------------
// Meters: a backlit face with a gain-reduction scale linear in dB, 0 dB at
// the right (rest), 30 dB at the left. The needle's pivot sits below the
// visible face, under a cover plate.

struct MeterLook {
    double left, top, width, height;
    double pivotX() const { return left + width / 2; }
    double pivotY() const { return top + 118; }
    double coverTop() const { return top + height - 12; }
};

constexpr double kMeterSweep = 44.0;  // degrees either side of vertical
constexpr double kMeterRadius = 98.0;

double meterAngle(double db) { return kMeterSweep - 2.0 * kMeterSweep * (db / 30.0); }

MeterLook meterLook(const SkinImage& s) {
    return {double(s.left), double(s.top), double(s.width), double(frameHeight(s))};
}

void paintMeterFace(cairo_t* cr, const MeterLook& m) {
    // Bezel.
    cairo_pattern_t* bezel = cairo_pattern_create_linear(0, m.top - 7, 0, m.top + m.height + 7);
    cairo_pattern_add_color_stop_rgb(bezel, 0, 0.10, 0.10, 0.11);
    cairo_pattern_add_color_stop_rgb(bezel, 1, 0.22, 0.23, 0.25);
    cairo_set_source(cr, bezel);
    roundedRect(cr, m.left - 6, m.top - 6, m.width + 12, m.height + 12, 6);
    cairo_fill(cr);
    cairo_pattern_destroy(bezel);

    // Face.
    cairo_pattern_t* face = cairo_pattern_create_radial(m.pivotX(), m.top + 20, 10, m.pivotX(),
                                                        m.top + 30, m.width * 0.7);
    cairo_pattern_add_color_stop_rgb(face, 0, 0.98, 0.91, 0.72);
    cairo_pattern_add_color_stop_rgb(face, 1, 0.80, 0.68, 0.44);
    cairo_set_source(cr, face);
    cairo_rectangle(cr, m.left, m.top, m.width, m.height);
    cairo_fill(cr);
    cairo_pattern_destroy(face);
    // Inner shadow along the top edge.
    cairo_pattern_t* inner = cairo_pattern_create_linear(0, m.top, 0, m.top + 8);
    cairo_pattern_add_color_stop_rgba(inner, 0, 0, 0, 0, 0.45);
    cairo_pattern_add_color_stop_rgba(inner, 1, 0, 0, 0, 0);
    cairo_set_source(cr, inner);
    cairo_rectangle(cr, m.left, m.top, m.width, 8);
    cairo_fill(cr);
    cairo_pattern_destroy(inner);

    const double px = m.pivotX(), py = m.pivotY(), R = kMeterRadius;
    const Rgb ink = rgb(0x1d1a16);
    // Arc.
    setColor(cr, ink);
    cairo_set_line_width(cr, 1.0);
    cairo_arc(cr, px, py, R, (meterAngle(30) - 90) * kPi / 180, (meterAngle(0) - 90) * kPi / 180);
    cairo_stroke(cr);
    // Red band for heavy reduction.
    cairo_set_source_rgba(cr, 0.75, 0.12, 0.08, 0.85);
    cairo_set_line_width(cr, 3.0);
    cairo_arc(cr, px, py, R + 1.5, (meterAngle(30) - 90) * kPi / 180,
              (meterAngle(20) - 90) * kPi / 180);
    cairo_stroke(cr);
    // Ticks every dB, longer every 5 dB.
    setColor(cr, ink);
    for (int db = 0; db <= 30; ++db) {
        const double a = meterAngle(db);
        const bool major = db % 5 == 0;
        const bool mid = db <= 3;
        cairo_set_line_width(cr, major ? 1.4 : 0.8);
        const double len = major ? 7 : (mid ? 5 : 3.5);
        cairo_move_to(cr, polarX(px, R, a), polarY(py, R, a));
        cairo_line_to(cr, polarX(px, R + len, a), polarY(py, R + len, a));
        cairo_stroke(cr);
    }
    for (int db = 0; db <= 30; db += 5) {
        const double a = meterAngle(db);
        char buf[8];
        std::snprintf(buf, sizeof buf, "%d", db);
        drawText(cr, polarX(px, R + 15, a), polarY(py, R + 15, a), buf, 8.5, Align::Center, false,
                 ink);
    }
    drawText(cr, px, m.coverTop() - 8, "GAIN REDUCTION  dB", 7, Align::Center, true, ink, 0.6);

    // Cover plate hiding the pivot.
    cairo_pattern_t* cover = cairo_pattern_create_linear(0, m.coverTop(), 0, m.top + m.height);
    cairo_pattern_add_color_stop_rgb(cover, 0, 0.26, 0.27, 0.29);
    cairo_pattern_add_color_stop_rgb(cover, 1, 0.12, 0.12, 0.13);
    cairo_set_source(cr, cover);
    cairo_rectangle(cr, m.left, m.coverTop(), m.width, m.top + m.height - m.coverTop());
    cairo_fill(cr);
    cairo_pattern_destroy(cover);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.25);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, m.left, m.coverTop() + 0.5);
    cairo_line_to(cr, m.left + m.width, m.coverTop() + 0.5);
    cairo_stroke(cr);
}

void paintNeedle(cairo_t* cr, cairo_surface_t* panel, const MeterLook& m, double db) {
    const double px = m.pivotX(), py = m.pivotY();
    const double a = meterAngle(db);
    const double tip = kMeterRadius + 5;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    // Shadow on the face.
    cairo_set_source_rgba(cr, 0, 0, 0, 0.22);
    cairo_set_line_width(cr, 1.6);
    cairo_move_to(cr, px + 2, py + 3);
    cairo_line_to(cr, polarX(px + 2, tip, a), polarY(py + 3, tip, a));
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.08, 0.07, 0.06);
    cairo_set_line_width(cr, 1.3);
    cairo_move_to(cr, px, py);
    cairo_line_to(cr, polarX(px, tip, a), polarY(py, tip, a));
    cairo_stroke(cr);
    // The needle passes under the cover plate: put the panel's cover back,
    // on whole device pixels (where the plate's edges fall between pixels, a
    // soft edge would blend the panel with itself and round differently).
    cairo_save(cr);
    double x0 = m.left, y0 = m.coverTop(), x1 = m.left + m.width, y1 = m.top + m.height;
    cairo_user_to_device(cr, &x0, &y0);
    cairo_user_to_device(cr, &x1, &y1);
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    cairo_identity_matrix(cr);
    x0 = std::round(x0), y0 = std::round(y0), x1 = std::round(x1), y1 = std::round(y1);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_clip(cr);
    cairo_set_matrix(cr, &user);
    cairo_set_source_surface(cr, panel, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

// ---------------------------------------------------------------------------
// Panel

void paintBrushedMetal(cairo_t* cr) {
    cairo_pattern_t* base = cairo_pattern_create_linear(0, 0, 0, kWindowHeight);
    cairo_pattern_add_color_stop_rgb(base, 0, kPanelTop.r, kPanelTop.g, kPanelTop.b);
    cairo_pattern_add_color_stop_rgb(base, 1, kPanelBottom.r, kPanelBottom.g, kPanelBottom.b);
    cairo_set_source(cr, base);
    cairo_paint(cr);
    cairo_pattern_destroy(base);

    Noise n(20240611u);
    cairo_set_line_width(cr, 1.0);
    for (int y = 0; y < kWindowHeight; ++y) {
        double x = -20.0 * n.uniform();
        while (x < kWindowWidth) {
            const double len = 40.0 + 220.0 * n.uniform();
            const double a = 0.008 + 0.022 * n.uniform();
            if (n.next() & 1)
                cairo_set_source_rgba(cr, 1, 1, 1, a);
            else
                cairo_set_source_rgba(cr, 0, 0, 0, a * 1.4);
            cairo_move_to(cr, x, y + 0.5);
            cairo_line_to(cr, x + len, y + 0.5);
            cairo_stroke(cr);
            x += len * (0.6 + 0.6 * n.uniform());
        }
    }

    // Soft shading towards the side edges for depth.
    for (int side = 0; side < 2; ++side) {
        const double x0 = side == 0 ? 0 : kWindowWidth;
        const double x1 = side == 0 ? 70 : kWindowWidth - 70;
        cairo_pattern_t* v = cairo_pattern_create_linear(x0, 0, x1, 0);
        cairo_pattern_add_color_stop_rgba(v, 0, 0, 0, 0, 0.28);
        cairo_pattern_add_color_stop_rgba(v, 1, 0, 0, 0, 0);
        cairo_set_source(cr, v);
        cairo_rectangle(cr, std::min(x0, x1), 0, 70, kWindowHeight);
        cairo_fill(cr);
        cairo_pattern_destroy(v);
    }
}

void paintScrew(cairo_t* cr, double x, double y) {
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_arc(cr, x + 0.6, y + 1.0, 5.0, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_t* p = cairo_pattern_create_linear(x - 4, y - 4, x + 4, y + 4);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.75, 0.75, 0.77);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.30, 0.30, 0.32);
    cairo_set_source(cr, p);
    cairo_arc(cr, x, y, 4.5, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
    cairo_set_line_width(cr, 1.2);
    cairo_move_to(cr, x - 3, y + 1.2);
    cairo_line_to(cr, x + 3, y - 1.2);
    cairo_stroke(cr);
}

void engravedLine(cairo_t* cr, double x0, double y0, double x1, double y1) {
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
    cairo_move_to(cr, x0, y0 + 0.5);
    cairo_line_to(cr, x1, y1 + 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.08);
    cairo_move_to(cr, x0, y0 + 1.5);
    cairo_line_to(cr, x1, y1 + 1.5);
    cairo_stroke(cr);
}

void paintHeaderAndFooter(cairo_t* cr) {
    // Header bar.
    cairo_pattern_t* head = cairo_pattern_create_linear(0, 0, 0, 34);
    cairo_pattern_add_color_stop_rgb(head, 0, 0.10, 0.10, 0.11);
    cairo_pattern_add_color_stop_rgb(head, 1, 0.15, 0.15, 0.16);
    cairo_set_source(cr, head);
    cairo_rectangle(cr, 0, 0, kWindowWidth, 34);
    cairo_fill(cr);
    cairo_pattern_destroy(head);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.12);
    cairo_rectangle(cr, 0, 34, kWindowWidth, 1);
    cairo_fill(cr);

    drawText(cr, 20, 17, "CHANNEL 1", 10, Align::Left, true, kAccent, 1.2);
    drawText(cr, 96, 17, "LEFT / MID", 10, Align::Left, false, kPrintDim, 1.2);
    drawText(cr, 1080, 17, "RIGHT / SIDE", 10, Align::Right, false, kPrintDim, 1.2);
    drawText(cr, 990, 17, "CHANNEL 2", 10, Align::Right, true, kAccent, 1.2);

    drawText(cr, 550, 17, "DUAL-STAGE STEREO DYNAMICS", 8.5, Align::Center, false, kPrintDim,
             2.0);

    // Footer bar: the editor draws its two labels on it.
    cairo_pattern_t* foot = cairo_pattern_create_linear(0, 584, 0, kWindowHeight);
    cairo_pattern_add_color_stop_rgb(foot, 0, 0.13, 0.13, 0.14);
    cairo_pattern_add_color_stop_rgb(foot, 1, 0.07, 0.07, 0.08);
    cairo_set_source(cr, foot);
    cairo_rectangle(cr, 0, 584, kWindowWidth, kWindowHeight - 584);
    cairo_fill(cr);
    cairo_pattern_destroy(foot);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_rectangle(cr, 0, 583, kWindowWidth, 1);
    cairo_fill(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
    cairo_rectangle(cr, 0, 584, kWindowWidth, 1);
    cairo_fill(cr);
}

// The product name, embossed into the panel under the meters.
void paintLogo(cairo_t* cr) {
    const double x = 550, y = 262;
    const std::string name = "KVB";
    constexpr double kSize = 40, kTrack = 10;
    // Engraved: dark edge above-left, light edge below-right, then the face.
    drawText(cr, x - 1, y - 1, name, kSize, Align::Center, true, rgb(0x101012), kTrack);
    drawText(cr, x + 1, y + 1, name, kSize, Align::Center, true, rgb(0x55575c), kTrack);
    const double w = textWidth(cr, name, kSize, true, kTrack);
    cairo_pattern_t* face = cairo_pattern_create_linear(0, y - 15, 0, y + 15);
    cairo_pattern_add_color_stop_rgb(face, 0, 0.86, 0.85, 0.82);
    cairo_pattern_add_color_stop_rgb(face, 1, 0.55, 0.55, 0.54);
    cairo_save(cr);
    cairo_rectangle(cr, x - w / 2 - 5, y - 25, w + 10, 50);
    cairo_clip(cr);
    cairo_push_group(cr);
    drawText(cr, x, y, name, kSize, Align::Center, true, rgb(0xffffff), kTrack);
    cairo_pattern_t* mask = cairo_pop_group(cr);
    cairo_set_source(cr, face);
    cairo_mask(cr, mask);
    cairo_pattern_destroy(mask);
    cairo_pattern_destroy(face);
    cairo_restore(cr);
    engravedLine(cr, x - 150, y - 1, x - w / 2 - 14, y - 1);
    engravedLine(cr, x + w / 2 + 4, y - 1, x + 150, y - 1);
    drawText(cr, x, y + 30, "STEREO COMPRESSOR", 8.5, Align::Center, true, kAccent, 3.0);
}

void paintMeterBridge(cairo_t* cr) {
    // Recessed window holding both meters.
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    roundedRect(cr, 306, 100, 492, 108, 8);
    cairo_fill(cr);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
    roundedRect(cr, 306.5, 100.5, 491, 107, 8);
    cairo_stroke(cr);
    drawText(cr, 415, 92, "CH 1", 8.5, Align::Center, true, kPrintDim, 1.0);
    drawText(cr, 688, 92, "CH 2", 8.5, Align::Center, true, kPrintDim, 1.0);
}

}  // namespace

void paintPanel(cairo_t* cr) {
    applyFontOptions(cr);
    paintBrushedMetal(cr);
    paintHeaderAndFooter(cr);
    paintMeterBridge(cr);
    paintLogo(cr);
    for (const auto& img : kImages) {
        switch (img.kind) {
            case Kind::Knob:
                if (const KnobLook* k = knobLook(img.param)) paintKnobScale(cr, *k);
                break;
            case Kind::Switch:
                if (const SwitchLook* s = switchLook(img.param)) {
                    if (s->style == SwitchStyle::Lever) paintToggleLegends(cr, *s);
                    else paintButtonBase(cr, *s);
                }
                break;
            case Kind::Meter:
                paintMeterFace(cr, meterLook(img));
                break;
            case Kind::Background:
                break;
        }
    }
    paintScrew(cr, 10, 46);
    paintScrew(cr, 1090, 46);
    paintScrew(cr, 10, 572);
    paintScrew(cr, 1090, 572);
}

void paintControlFrame(cairo_t* cr, cairo_surface_t* panel, const SkinImage& img, int frame) {
    applyFontOptions(cr);
    const double v = img.frames > 1 ? frame / double(img.frames - 1) : 0.0;
    switch (img.kind) {
        case Kind::Knob:
            if (const KnobLook* k = knobLook(img.param)) paintKnob(cr, *k, knobAngle(*k, v));
            break;
        case Kind::Switch:
            if (const SwitchLook* s = switchLook(img.param)) {
                if (s->style == SwitchStyle::Lever) paintToggle(cr, *s, frame == 1);
                else paintButton(cr, *s, frame == 1);
            }
            break;
        case Kind::Meter:
            // Frame f stands for (60 - f) / 2 dB of gain reduction.
            paintNeedle(cr, panel, meterLook(img), (img.frames - 1 - frame) * 30.0 /
                                                        (img.frames - 1));
            break;
        case Kind::Background:
            break;
    }
}

}  // namespace skingen
