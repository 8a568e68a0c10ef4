// Charts for kvb curve, kvb step and kvb render --plot: a page of panels, each
// with its axes, grid, labels and lines, written as a PNG file. Drawn with
// PLplot's cairo driver (Linux builds only).
#pragma once

#include <cmath>
#include <string>
#include <vector>

namespace kvbhost {

struct Colour {
    int r, g, b;
};

// Colours that stay apart for the eye and in grey: lines of one chart take
// them in order.
constexpr Colour kSeriesColours[] = {
    {31, 119, 180}, {255, 127, 14}, {44, 160, 44}, {214, 39, 40}, {148, 103, 189}, {140, 86, 75},
};
constexpr Colour kInkColour{40, 40, 40};
constexpr Colour kGreyColour{150, 150, 150};
constexpr Colour kLightGreyColour{200, 200, 200};

struct Series {
    std::vector<double> x, y;  // a y that is not a number breaks the line
    Colour colour = kSeriesColours[0];
    double width = 2.0;        // in points
    bool dashed = false;
    bool marks = false;        // a ring at each point instead of a line
    std::string label;         // in the panel's legend; none when empty
};

struct Panel {
    // Where the plotting area lies on the page, as fractions of its width
    // and height (0 at the left and the bottom).
    double left = 0.1, right = 0.95, bottom = 0.1, top = 0.9;
    double xmin = 0, xmax = 1, ymin = 0, ymax = 1;
    std::string title, xlabel, ylabel;
    std::vector<Series> series;
    // Where the legend goes: "top-left", "top-right", "bottom-left",
    // "bottom-right" inside the plotting area, or "above" it in one row at
    // the right; none when no series has a label.
    std::string legendAt = "top-left";
};

struct Chart {
    int width = 1200, height = 800;  // pixels
    std::string title;               // the page's headline
    std::string subtitle;            // a smaller line under it (settings)
    std::vector<Panel> panels;
    // A legend of its own at the foot of the page, in columns, for lines
    // that several panels share.
    std::vector<Series> legend;
    int legendColumns = 1;
};

// Writes the chart to `path` (complete or not at all: it is drawn under a
// temporary name and renamed). Answers false with a one-line message.
bool writeChart(const std::string& path, const Chart& chart, std::string& error);

// A round step for axis limits: the smallest of 1, 2, 5 times a power of ten
// that is at least `x`.
inline double niceStep(double x) {
    if (!(x > 0.0)) return 1.0;
    const double p = std::pow(10.0, std::floor(std::log10(x)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * p >= x * (1.0 - 1e-9)) return m * p;
    return 10.0 * p;
}
// `x` rounded down / up to a multiple of `step`.
inline double floorTo(double x, double step) { return std::floor(x / step) * step; }
inline double ceilTo(double x, double step) { return std::ceil(x / step) * step; }

}  // namespace kvbhost
