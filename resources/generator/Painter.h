// Drawing helpers for the skin: panel, text, knobs, switches and meters,
// all in cairo user space with window or frame coordinates.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

namespace skingen {

struct Rgb {
    double r, g, b;
};

constexpr Rgb rgb(std::uint32_t hex) {
    return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0};
}

void setColor(cairo_t* cr, Rgb c, double alpha = 1.0);

enum class Align { Left, Center, Right };

// Text with its cap height centred on y. `tracking` adds space between
// letters (engraved-label look).
void drawText(cairo_t* cr, double x, double y, const std::string& text, double size, Align align,
              bool bold, Rgb color, double tracking = 0.0);
double textWidth(cairo_t* cr, const std::string& text, double size, bool bold,
                 double tracking = 0.0);

// Fixed font rendering options, so that the images come out the same on
// every machine with the same fonts.
void applyFontOptions(cairo_t* cr);

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r);

// A point on a circle: angle in degrees, 0 pointing up, clockwise positive.
double polarX(double cx, double r, double deg);
double polarY(double cy, double r, double deg);

// Deterministic pseudo-random numbers for textures.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    double uniform() { return (next() & 0xFFFFFF) / double(0x1000000); }

private:
    std::uint32_t state_;
};

}  // namespace skingen
