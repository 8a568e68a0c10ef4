#include "dsp/DcBlocker.h"

#include "dsp/BlockSettings.h"

float dcBlockerPole(float rateRatio) { return rateScaled(kDcPole44k, rateRatio); }
