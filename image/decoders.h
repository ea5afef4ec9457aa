// What the format decoders behind image_decode share: the record they fill
// and the way they refuse.
#pragma once
#include <cstdio>
#include <string>

#include "image/decode.h"

// The number of bytes image_decode peeks at before choosing a decoder: the
// PNG signature and the size fields of the IHDR chunk that must follow it;
// it holds WebP's RIFF header, with the file's size, too.
constexpr int image_head_size = 24;

// Why a picture of that size is refused (a side of 0 or past
// image_max_side), or empty when it is not; checked before any allocation.
std::string image_size_refusal(long width, long height);
// A picture of an allowed size with its pixels allocated; null when the
// memory cannot be had.
RgbaImage* image_new(int width, int height);
// Sets the reason; always returns null.
RgbaImage* image_refuse(const std::string& reason);

// Each decodes from the stream's current position, where its signature
// starts; head holds the first image_head_size bytes there, zeros past the end.
RgbaImage* png_decode(FILE* stream, const unsigned char* head);
RgbaImage* jpeg_decode(FILE* stream);
RgbaImage* webp_decode(FILE* stream, const unsigned char* head);
RgbaImage* dds_decode(FILE* stream);
