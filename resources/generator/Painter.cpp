#include "Painter.h"

#include <cmath>

namespace skingen {

namespace {
constexpr double kPi = 3.14159265358979323846;
// Cap height of Liberation Sans / Arial relative to the font size.
constexpr double kCapHeight = 0.716;
}  // namespace

void setColor(cairo_t* cr, Rgb c, double alpha) {
    if (alpha >= 1.0)
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
    else
        cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void applyFontOptions(cairo_t* cr) {
    cairo_font_options_t* opts = cairo_font_options_create();
    cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_subpixel_order(opts, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    cairo_set_font_options(cr, opts);
    cairo_font_options_destroy(opts);
}

static void selectFont(cairo_t* cr, double size, bool bold) {
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

double textWidth(cairo_t* cr, const std::string& text, double size, bool bold, double tracking) {
    selectFont(cr, size, bold);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text.c_str(), &ext);
    double w = ext.x_advance;
    if (tracking != 0.0 && text.size() > 1) w += tracking * static_cast<double>(text.size() - 1);
    return w;
}

void drawText(cairo_t* cr, double x, double y, const std::string& text, double size, Align align,
              bool bold, Rgb color, double tracking) {
    const double w = textWidth(cr, text, size, bold, tracking);
    double x0 = x;
    if (align == Align::Center) x0 = x - w / 2.0;
    if (align == Align::Right) x0 = x - w;
    const double baseline = y + size * kCapHeight / 2.0;
    selectFont(cr, size, bold);
    setColor(cr, color);
    if (tracking == 0.0) {
        cairo_move_to(cr, x0, baseline);
        cairo_show_text(cr, text.c_str());
        return;
    }
    double pen = x0;
    for (char c : text) {
        const char s[2] = {c, 0};
        cairo_move_to(cr, pen, baseline);
        cairo_show_text(cr, s);
        cairo_text_extents_t ext;
        cairo_text_extents(cr, s, &ext);
        pen += ext.x_advance + tracking;
    }
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

double polarX(double cx, double r, double deg) { return cx + r * std::sin(deg * kPi / 180.0); }
double polarY(double cy, double r, double deg) { return cy - r * std::cos(deg * kPi / 180.0); }

}  // namespace skingen
