// Targa reader: true colour (24/32 bit), 8-bit grey-scale and 8-bit
// colour-mapped images, plain or run-length encoded.
#pragma once
#include <cstdint>
#include <cstdio>
#include <GL/gl.h>

struct TgaImage {
    int width;
    int height;
    int components;        // bytes per pixel in pixels: 1, 3 or 4
    GLenum format;         // GL_COLOR_INDEX, GL_BGR_EXT, GL_BGRA_EXT or GL_LUMINANCE
    int colorMapEntries;
    GLenum colorMapFormat; // GL_RGB with a colour map, else 0
    unsigned char* colorMap; // red, green, blue per entry
    unsigned char* pixels;   // width * height * components bytes
};

// Carries a run-length packet from one row to the next: one per image, zeroed
// at the start, the same element size in every call; the caller frees buffer.
struct RleState {
    unsigned char* buffer;  // one decoded packet that did not fit its request
    int32_t filled;
    int32_t consumed;
};

using TgaPixelReader = int (*)(RleState* state, unsigned char* destination, int element_size,
                               int element_count, FILE* stream);

extern unsigned int tga_verbosity;
extern char tga_error_text[256];
extern int32_t tga_total_bytes;

int std_fread(RleState* state, unsigned char* destination, int element_size, int element_count,
              FILE* stream);
int rle_fread(RleState* state, unsigned char* destination, int element_size, int element_count,
              FILE* stream);

// Null on failure, reason in tga_error_text. The caller owns the record and
// both buffers (release with tga_free).
TgaImage* tga_read(FILE* stream, const char* path, int flip);
// Opens path and reads it flipped (top row first); ends the process on failure.
TgaImage* tga_load(const char* path);
void tga_free(TgaImage* image);

// Back to the state of a fresh process.
void tga_reset_state();
