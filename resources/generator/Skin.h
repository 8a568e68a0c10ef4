// The look of the KVB editor: the panel and every control's moving parts.
#pragma once

#include <cairo.h>

#include "Layout.h"

namespace skingen {

// Paints the whole window background (bitmap 101), including everything
// that does not move: labels, scales, legends, meter faces.
void paintPanel(cairo_t* cr);

// Paints the moving part of `img` for frame `frame` over the panel pixels
// already in place. `cr` is in window coordinates, clipped to the control's
// rectangle. `panel` is the finished background, for parts that pass under
// a fixed cover (the meter needles).
void paintControlFrame(cairo_t* cr, cairo_surface_t* panel, const SkinImage& img, int frame);

}  // namespace skingen
