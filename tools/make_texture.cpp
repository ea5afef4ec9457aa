// Writes the default environment texture: a 256 x 256 Targa image, 32 bits a
// pixel, of a sky over the ground with a bright sun, which reads well as a
// sphere map.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/options.h"

constexpr int size = 256;
constexpr int horizon = 136;  // first ground row, counted from the top

struct Rgb {
    double r, g, b;
};

static Rgb mix(Rgb a, Rgb b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

static Rgb texel(int x, int y)
{
    Rgb c;
    if (y < horizon)
        c = mix({25, 60, 150}, {205, 225, 245}, std::pow((double)y / horizon, 1.6));
    else
        c = mix({120, 105, 75}, {45, 38, 28}, (double)(y - horizon) / (size - 1 - horizon));
    // The sun: a white disc with a warm glow that fades over the sky around it.
    double d = std::hypot(x - 176.0, y - 64.0);
    if (d < 12.0)
        return {255, 252, 235};
    double glow = std::exp(-(d - 12.0) / 18.0);
    return mix(c, {255, 235, 170}, glow);
}

static unsigned char byte(double v)
{
    return (unsigned char)std::clamp(std::lround(v), 0L, 255L);
}

static const char usage[] =
    "usage: make_texture OUT.tga\n"
    "Writes the viewer's default texture, a 256 x 256 sky and sun, as an\n"
    "uncompressed 32-bit Targa image.\n";

int main(int argc, char** argv)
{
    if (int status = answer_options(argc, argv, usage); status >= 0)
        return status;
    if (argc != 2) {
        fputs(usage, stderr);
        return 2;
    }
    FILE* out = fopen(argv[1], "wb");
    if (out == nullptr) {
        perror(argv[1]);
        return 1;
    }
    // Uncompressed true colour, rows stored top to bottom, 8 alpha bits.
    unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                size & 0xff, size >> 8, size & 0xff, size >> 8, 32, 0x28};
    fwrite(header, 1, sizeof header, out);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            Rgb c = texel(x, y);
            unsigned char pixel[4] = {byte(c.b), byte(c.g), byte(c.r), 255};
            fwrite(pixel, 1, sizeof pixel, out);
        }
    bool failed = ferror(out) != 0;
    if (fclose(out) != 0 || failed) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}
