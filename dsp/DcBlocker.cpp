#include "dsp/DcBlocker.h"

#include "dsp/LevelMath.h"

float dcBlockerPole(float rateRatio) { return rateScaled(kDcPole44k, rateRatio); }
