// What the image fuzz targets check of every picture image_decode returns.
#pragma once
#include "image/decode.h"

// Ends the process unless the image is whole: sides within bounds, a mip
// chain down to 1 x 1 when it has more than one level, and a buffer of
// exactly the bytes its levels take; S3TC blocks must decompress the same
// way. Frees the image.
void check_and_free(RgbaImage* image);
