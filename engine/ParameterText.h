// What each of parameters 0 to 25 means to a user: its title, its kind
// (continuous, a switch, a three- or six-position selector), the names of its
// positions and its value in real units. The formats that show values as
// text (VST3, CLAP, the LV2 description) take them from here; the positions
// follow how the processing reads a value (dsp/BlockSettings), so a text
// never names a setting other than the one the sound has.
#pragma once

#include <cstddef>

#include "params/Parameters.h"

namespace kvb {

enum class ParameterKind { Continuous, Switch, ThreePositions, SixPositions };

struct ParameterDescription {
    ParameterKind kind;
    const char* title;    // "Opt threshold 1"
    const char* comment;  // one sentence on what it does
    const char* unit;     // of a continuous value ("dB"), else ""
    // The names of the positions of a switch (off, on) or a three-position
    // selector; a six-position selector's come from the Dis stage's table.
    const char* labels[3];
};

// Parameters 0 to 25; any other index answers the description of a spare
// (continuous, titled "-").
const ParameterDescription& describeParameter(int index);

// The number of positions of a stepped parameter (2, 3 or 6), or 0.
int positionCount(int index);
// The position the processing reads `value` as (NaN as 0, as it does), or
// -1 for a continuous parameter.
int positionOf(int index, float value);
// The value of a position that the processing reads as that position, on the
// grid the editor sends: a switch 0 and 1, three positions 0, 0.5 and 1, six
// positions 0, 0.2 ... 1. Positions beyond the ends are taken as the ends.
float positionValue(int index, int position);
// The name of a position ("SLOW", "2.3 ms", "4:1", "BYPASSED"), or "".
const char* positionLabel(int index, int position);
// Whether the position names of the parameter are the values themselves
// (times, ratios) rather than modes.
bool positionsAreNumbers(int index);

// The value in real units: "-35.0 dB", "4:1", "2.3 ms", "SLOW". Writes at
// most `size` bytes, the terminating zero included (nothing when size is 0).
void formatValue(int index, float value, char* text, std::size_t size);
// The value a text stands for, read the way formatValue writes it: a number
// with or without its unit for a continuous parameter (limited to the
// parameter's range), a position's name (any case) or, for times and
// ratios, a number taken as the nearest position. False when the text says
// nothing usable; `value` is then left alone.
bool parseValue(int index, const char* text, float& value);

// A value a host hands a format's glue, as the processing is to take it:
// within 0 to 1 (beyond it, the nearer end), and not-a-number as the
// parameter's default.
float hostValue(int index, double value);

}  // namespace kvb
