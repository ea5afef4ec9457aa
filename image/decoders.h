// What the format decoders behind image_decode share: the bytes they read
// through, the record they fill and the way they refuse.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/decode.h"

// One cursor over a picture's bytes. A read past the end gives zeros and
// marks the context overrun, so a decoder may read a whole header and check
// once.
struct ImageBytes {
    const unsigned char* data;
    size_t size;
    size_t at;   // the cursor
    bool overrun;  // a read went past the end
};

uint16_t le16(const unsigned char* bytes);
uint32_t le32(const unsigned char* bytes);

size_t bytes_left(const ImageBytes& in);
// The next count bytes, the cursor past them; null (and overrun) when fewer are left.
const unsigned char* take_bytes(ImageBytes* in, size_t count);
unsigned read_u8(ImageBytes* in);
uint16_t read_le16(ImageBytes* in);
uint32_t read_le32(ImageBytes* in);

// Why a picture of that size is refused (a side of 0 or past
// image_max_side), or empty when it is not; checked before any allocation.
std::string image_size_refusal(long width, long height);
// A picture of an allowed size with its pixels allocated; null when the
// memory cannot be had.
RgbaImage* image_new(int width, int height);
// Sets the reason; always returns null.
RgbaImage* image_refuse(const std::string& reason);

// Each decodes from the cursor, where its signature starts, to the end of
// the bytes at most.
RgbaImage* png_decode(ImageBytes* in);
RgbaImage* jpeg_decode(ImageBytes* in);
RgbaImage* webp_decode(ImageBytes* in);
RgbaImage* dds_decode(ImageBytes* in);
// True-colour Targa of 15 or 16 bits a pixel, whose header starts at the cursor.
RgbaImage* tga16_decode(ImageBytes* in);
