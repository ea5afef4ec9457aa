// Test support: Targa files made byte by byte, valid or not.
#pragma once
#include <cstdint>

#include "tests/support/files.h"

// The header's fields; the origin fields are always 0. The defaults make a
// 1 x 1 uncompressed 24-bit picture.
struct TgaHeader {
    uint8_t idLength = 0;
    uint8_t colorMapType = 0;
    uint8_t imageType = 2;
    uint16_t colorMapIndex = 0;
    uint16_t colorMapLength = 0;
    uint8_t colorMapSize = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t bpp = 24;
    uint8_t descriptor = 0;
};

// The 18 header bytes followed by body.
Bytes tga_bytes(const TgaHeader& h, const Bytes& body = {});
