// Charts through PLplot and its cairo PNG driver.
#include <plplot.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>

#include "host/OutputFile.h"
#include "host/Plot.h"

namespace kvbhost {

namespace {

// Text sizes, relative to PLplot's default character height.
constexpr PLFLT kText = 0.62;
constexpr PLFLT kLegendText = 0.95;  // relative to kText
constexpr PLFLT kPanelTitleText = 0.7;
constexpr PLFLT kTitleText = 0.95;
constexpr PLFLT kSubtitleText = 0.6;

// Text as PLplot draws it literally: '#' starts its escape sequences.
std::string literal(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '#') out += '#';
    }
    return out;
}

// Splits `text` at spaces into lines of at most `width` characters.
std::vector<std::string> wrap(const std::string& text, std::size_t width) {
    std::vector<std::string> lines(1);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width) lines.emplace_back();
        lines.back() += (lines.back().empty() ? "" : " ") + word;
        at = end + 1;
    }
    return lines;
}

// PLplot ends the process on errors it deems fatal; what it reports short of
// that is kept for the message.
std::string plplotComplaint;
void onPlplotAbort(PLCHAR_VECTOR message) {
    if (plplotComplaint.empty() && message) plplotComplaint = message;
}

bool haveCairoPng() {
    // The caller provides the lists; count goes in as their size.
    std::vector<const char*> menu(128, nullptr), names(128, nullptr);
    const char** menuData = menu.data();
    const char** nameData = names.data();
    int count = static_cast<int>(names.size());
    plgDevs(&menuData, &nameData, &count);
    for (int i = 0; i < count && i < static_cast<int>(names.size()); ++i)
        if (names[static_cast<std::size_t>(i)] && std::strcmp(names[static_cast<std::size_t>(i)], "pngcairo") == 0)
            return true;
    return false;
}

// Colour map 0 entries for the chart's colours: 0 is the background, 1 the
// ink, then one entry per colour the series use.
class Palette {
public:
    Palette() {
        plscol0(0, 255, 255, 255);
        set(kInkColour);
    }
    PLINT set(const Colour& c) {
        const int key = (c.r << 16) | (c.g << 8) | c.b;
        auto it = index_.find(key);
        if (it != index_.end()) return it->second;
        const PLINT i = next_ < 16 ? next_++ : 15;
        plscol0(i, c.r, c.g, c.b);
        index_[key] = i;
        return i;
    }

private:
    std::map<int, PLINT> index_;
    PLINT next_ = 1;
};

void drawLine(const Series& s, PLINT colour) {
    plcol0(colour);
    plwidth(s.width);
    if (s.marks) {
        std::vector<PLFLT> x, y;
        for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
            if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
            x.push_back(s.x[i]);
            y.push_back(s.y[i]);
        }
        plssym(0.0, 0.9);
        if (!x.empty()) plpoin(static_cast<PLINT>(x.size()), x.data(), y.data(), 4);  // a ring
        plssym(0.0, 1.0);
        return;
    }
    pllsty(s.dashed ? 3 : 1);
    std::vector<PLFLT> x, y;
    auto flush = [&] {
        if (x.size() >= 2) plline(static_cast<PLINT>(x.size()), x.data(), y.data());
        x.clear();
        y.clear();
    };
    for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
        if (!std::isfinite(s.y[i]) || !std::isfinite(s.x[i])) {
            flush();
            continue;
        }
        x.push_back(s.x[i]);
        y.push_back(s.y[i]);
    }
    flush();
    pllsty(1);
}

// A legend of the labelled series at `position` (PL_POSITION_... flags)
// relative to the current viewport, in `columns` columns.
void drawLegend(const std::vector<Series>& series, PLINT position, int columns, Palette& palette,
                PLFLT x = 0.02, PLFLT y = 0.03, bool boxed = true) {
    std::vector<const Series*> labelled;
    for (const Series& s : series)
        if (!s.label.empty()) labelled.push_back(&s);
    if (labelled.empty()) return;
    const PLINT n = static_cast<PLINT>(labelled.size());
    std::vector<PLINT> opts(n, PL_LEGEND_LINE), textColours(n, 1), lineColours(n), lineStyles(n);
    std::vector<PLFLT> lineWidths(n);
    std::vector<std::string> kept(n);
    std::vector<const char*> texts(n);
    for (PLINT i = 0; i < n; ++i) {
        lineColours[i] = palette.set(labelled[i]->colour);
        lineStyles[i] = labelled[i]->dashed ? 3 : 1;
        lineWidths[i] = labelled[i]->width;
        kept[i] = literal(labelled[i]->label);
        texts[i] = kept[i].c_str();
    }
    const PLINT rows = (n + columns - 1) / columns;
    PLFLT width = 0, height = 0;
    plschr(0.0, kText * kLegendText);
    const PLINT box = boxed ? PL_LEGEND_BACKGROUND | PL_LEGEND_BOUNDING_BOX : 0;
    pllegend(&width, &height, box | PL_LEGEND_ROW_MAJOR, position, x, y, 0.05, 0,
             palette.set(kLightGreyColour), 1, rows, columns, n,
             opts.data(), 0.8, kText * kLegendText, 1.9, 0.0,
             textColours.data(), texts.data(), nullptr, nullptr, nullptr, nullptr,
             lineColours.data(), lineStyles.data(), lineWidths.data(), nullptr, nullptr, nullptr,
             nullptr);
    plschr(0.0, kText);
}

// The labelled series in one row over the plotting area, ending at its right
// edge, level with the panel's title.
void drawLegendAbove(const Panel& p, Palette& palette) {
    PLFLT xmin = 0, xmax = 0, ymin = 0, ymax = 0, defaultMm = 0, mm = 0;
    plgspa(&xmin, &xmax, &ymin, &ymax);
    plschr(0.0, kText * kLegendText);
    plgchr(&defaultMm, &mm);
    plschr(0.0, kText);
    // Pushed up out of the plotting area by its own height (one row of text
    // at the spacing below) from the inside top right corner.
    const PLFLT rowHeight = 1.9 * mm / ((ymax - ymin) * (p.top - p.bottom));
    const int n = static_cast<int>(
        std::count_if(p.series.begin(), p.series.end(), [](const Series& s) { return !s.label.empty(); }));
    drawLegend(p.series, PL_POSITION_INSIDE | PL_POSITION_VIEWPORT | PL_POSITION_TOP | PL_POSITION_RIGHT,
               std::max(1, n), palette, 0.0, -1.05 * rowHeight, false);
}

void drawPanel(const Panel& p, Palette& palette) {
    plvpor(p.left, p.right, p.bottom, p.top);
    plwind(p.xmin, p.xmax, p.ymin, p.ymax);
    // The grid first, faint, at the major ticks; then the frame and numbers.
    plcol0(palette.set({225, 225, 225}));
    plwidth(0.8);
    plbox("g", 0.0, 0, "g", 0.0, 0);
    plcol0(1);
    plwidth(1.0);
    plschr(0.0, kText);
    plbox("bcnst", 0.0, 0, "bcnstv", 0.0, 0);
    for (const Series& s : p.series) drawLine(s, palette.set(s.colour));
    plcol0(1);
    plwidth(1.0);
    if (!p.xlabel.empty()) plmtex("b", 3.0, 0.5, 0.5, literal(p.xlabel).c_str());
    if (!p.ylabel.empty()) plmtex("l", 3.4, 0.5, 0.5, literal(p.ylabel).c_str());
    if (!p.title.empty()) {
        plschr(0.0, kPanelTitleText);
        plmtex("t", 0.7, 0.0, 0.0, literal(p.title).c_str());
        plschr(0.0, kText);
    }
    if (p.legendAt == "above") {
        drawLegendAbove(p, palette);
        return;
    }
    PLINT position = PL_POSITION_INSIDE | PL_POSITION_VIEWPORT;
    position |= p.legendAt.find("bottom") != std::string::npos ? PL_POSITION_BOTTOM : PL_POSITION_TOP;
    position |= p.legendAt.find("right") != std::string::npos ? PL_POSITION_RIGHT : PL_POSITION_LEFT;
    drawLegend(p.series, position, 1, palette);
}

}  // namespace

bool writeChart(const std::string& path, const Chart& chart, std::string& error) {
    if (!haveCairoPng()) {
        error = "PLplot has no pngcairo driver (install plplot-driver-cairo)";
        return false;
    }
    // PLplot ends the process when it cannot open its file: find out first.
    const std::string temp = temporaryNameFor(path);
    if (FILE* f = std::fopen(temp.c_str(), "wb")) {
        std::fclose(f);
    } else {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    plplotComplaint.clear();
    plsabort(onPlplotAbort);
    PLINT stream = 0;
    plmkstrm(&stream);
    plsdev("pngcairo");
    plsfnam(temp.c_str());
    plspage(0.0, 0.0, chart.width, chart.height, 0, 0);
    plscolbg(255, 255, 255);
    plinit();
    plfontld(1);
    plsfont(PL_FCI_SANS, PL_FCI_UPRIGHT, PL_FCI_MEDIUM);
    pladv(0);
    {
        Palette palette;
        plschr(0.0, kText);
        for (const Panel& p : chart.panels) drawPanel(p, palette);
        if (!chart.legend.empty()) {
            plvpor(0.0, 1.0, 0.0, 1.0);
            plwind(0.0, 1.0, 0.0, 1.0);
            drawLegend(chart.legend, PL_POSITION_INSIDE | PL_POSITION_VIEWPORT | PL_POSITION_BOTTOM,
                       std::max(1, chart.legendColumns), palette);
        }

        // The headline and the settings line, across the page.
        plvpor(0.0, 1.0, 0.0, 1.0);
        plwind(0.0, 1.0, 0.0, 1.0);
        plcol0(1);
        // Heights in page fractions from the character heights in mm.
        PLFLT defaultMm = 0, mm = 0;
        plgchr(&defaultMm, &mm);
        PLFLT xmin = 0, xmax = 0, ymin = 0, ymax = 0;
        plgspa(&xmin, &xmax, &ymin, &ymax);
        const PLFLT line = defaultMm / (ymax - ymin);
        PLFLT y = 1.0 - 1.4 * kTitleText * line;
        plschr(0.0, kTitleText);
        const auto titlePerLine = static_cast<std::size_t>(1.9 * (xmax - xmin) / (kTitleText * defaultMm));
        for (const std::string& l : wrap(chart.title, titlePerLine)) {
            if (l.empty()) continue;
            plptex(0.5, y, 1.0, 0.0, 0.5, literal(l).c_str());
            y -= 1.5 * kTitleText * line;
        }
        y += 0.3 * kTitleText * line;
        plschr(0.0, kSubtitleText);
        const auto perLine = static_cast<std::size_t>(1.9 * (xmax - xmin) / (kSubtitleText * defaultMm));
        for (const std::string& l : wrap(chart.subtitle, perLine)) {
            if (l.empty()) continue;
            plptex(0.5, y, 1.0, 0.0, 0.5, literal(l).c_str());
            y -= 1.6 * kSubtitleText * line;
        }
        plschr(0.0, kText);
    }
    plend1();
    plsabort(nullptr);
    if (!plplotComplaint.empty()) {
        std::remove(temp.c_str());
        error = "cannot draw " + path + ": " + plplotComplaint;
        return false;
    }
    if (!replaceFile(temp, path)) {
        std::remove(temp.c_str());
        error = "cannot move the picture to " + path;
        return false;
    }
    return true;
}

}  // namespace kvbhost
