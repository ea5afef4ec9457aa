// Quake III's deformVertexes done on the processor, free of GL: a batch's
// triangles moved by waves, bulged, or turned into sprites that face the
// camera, ready to draw as they are.
#pragma once
#include <span>
#include <vector>

#include "gamefs/stages.h"
#include "mesh/model.h"

// One corner of a triangle as the view draws it.
struct deform_corner {
    model_vec3 position, normal;
    float st[2];  // s and t as GL samples the picture: t = 0 is its bottom row
};

// The camera's axes in the model's space, unit vectors; right x up is
// -forward, forward pointing from the eye into the picture.
struct deform_view {
    model_vec3 right, up, forward;
};

// The corners, three to a triangle in the file's order, deformed by the
// material's deforms in their order (the first three, as the game keeps no
// more) at `time` seconds, written to `out` (same count; its storage is kept
// from call to call). Sprites are made of consecutive triangle pairs that
// share an edge; a triangle that pairs with neither neighbour, and corners
// after the last whole triangle, are left as they are, as is a pair with a
// corner that is not finite. A deform with a number that is not finite is
// skipped, a time that is not finite taken as 0.
void deform_corners(std::span<const deform_corner> corners,
                    std::span<const material_deform> deforms, float time, const deform_view& view,
                    std::vector<deform_corner>* out);
