// Decoding for the image tests: from a heap block of exactly the bytes, so
// that the sanitized build catches any read past their end.
#pragma once
#include <cstdint>
#include <cstring>
#include <memory>

#include "image/decode.h"

using Picture = std::unique_ptr<RgbaImage, decltype(&image_free)>;

inline Picture decode_exact(const uint8_t* data, size_t size)
{
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
    if (size > 0)
        memcpy(bytes.get(), data, size);
    return Picture(image_decode(bytes.get(), size), image_free);
}
