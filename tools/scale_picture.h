// Pictures made smaller (or larger) by area averaging, for thumbnails.
#pragma once
#include "tools/driver/viewer.h"

// The picture scaled so that its longer side is `longer` pixels, the aspect
// kept (the shorter side rounded, at least 1). Each new pixel is the mean of
// the old pixels it covers, weighted by the share of each that it covers, so
// fine detail blends instead of being dropped or repeated as nearest-pixel
// sampling would.
Pixels scale_picture(const Pixels& picture, int longer);
