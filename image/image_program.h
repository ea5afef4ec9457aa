// The operations a Doom 3 material's image program applies to decoded
// pictures at load time, done the way the game does them so that a model
// looks as it does there: normal maps made from height maps, normal maps
// added, alpha and intensity made from colour. Each takes images as
// image_decode gives them (S3TC ones are decompressed first, only the top
// level is read), leaves them untouched and returns a new 8-bit RGBA image
// of one level, or null when the memory cannot be had or an input is null
// or empty. Rows are bottom first, as everywhere in RgbaImage; "down" below
// means down the picture. Neighbours past an edge wrap to the other edge.
//
// The game resamples every picture up to power-of-two sides before a
// program sees it: image_resample_power_of_two does that and should come
// first. The game also marks what heightmap, add_normals and smooth_normals
// return as bump images; that mark belongs to whoever runs the program.
#pragma once
#include "image/decode.h"

// Each side up to the next power of two (a power-of-two side is kept), each
// new texel the average of the source area it covers, weighted by area.
RgbaImage* image_resample_power_of_two(const RgbaImage* image);

// A tangent-space normal map from grey heights (R+G+B)/3: X right, Y down,
// Z out, from forward differences to the right and down, scaled by
// scale/256. A flat picture gives (128, 128, 254); alpha is 255.
RgbaImage* image_heightmap(const RgbaImage* image, float scale);
// Normal map a with b's X and Y added (b taken at a's size by its nearest
// texel); alpha is 255.
RgbaImage* image_add_normals(const RgbaImage* a, const RgbaImage* b);
// Each normal the normalized sum of its 3 x 3 neighbourhood, texels that are
// black or (128, 128, 128) left out; alpha kept.
RgbaImage* image_smooth_normals(const RgbaImage* image);
// G, B and A set to R.
RgbaImage* image_make_intensity(const RgbaImage* image);
// A set to (R+G+B)/3, then R, G and B to 255.
RgbaImage* image_make_alpha(const RgbaImage* image);
// Each channel times its factor, truncated; a product past 255 or below 0
// wraps modulo 256, as the game's builds show it.
RgbaImage* image_scale(const RgbaImage* image, float r, float g, float b, float a);
// Every channel of a plus b's (b taken at a's size by its nearest texel),
// held at 255.
RgbaImage* image_add(const RgbaImage* a, const RgbaImage* b);
// R, G, B to 255 minus themselves; alpha kept.
RgbaImage* image_invert_color(const RgbaImage* image);
// Alpha to 255 minus itself.
RgbaImage* image_invert_alpha(const RgbaImage* image);
