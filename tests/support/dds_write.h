// Test support: DDS files written from pictures, for the tests and the
// benchmarks (so free of GoogleTest). The S3TC encoder is exact only for
// pictures whose 4 x 4 blocks hold at most two colours of 5:6:5 bits and two
// alphas (DXT3: multiples of 17).
#pragma once
#include <cstdint>
#include <vector>

using DdsBytes = std::vector<uint8_t>;

enum DdsKind {
    dds_dxt1,
    dds_dxt3,
    dds_dxt5,
    dds_bgr24,
    dds_rgb24,
    dds_bgra32,
    dds_rgba32,
    dds_bgrx32
};

// A picture: red, green, blue, alpha bytes, rows top to bottom.
struct DdsPicture {
    int width, height;
    DdsBytes rgba;
};

// The same rows, bottom to top.
DdsPicture dds_flipped(const DdsPicture& picture);
// The level's S3TC blocks or pixels as a file holds them, rows top-down.
DdsBytes dds_level(DdsKind kind, const DdsPicture& picture);
// A file of the levels, its header's mip count set (and flagged) when
// mip_count is not 0.
DdsBytes dds_file(DdsKind kind, const std::vector<DdsPicture>& levels, uint32_t mip_count);
