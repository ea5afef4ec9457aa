// Test support for the scene and frame tests: Targa files written on the spot,
// a private working directory, and pixels read back from the real window.
#pragma once
#include <array>
#include <string>
#include <vector>

using Rgb = std::array<unsigned char, 3>;

// An uncompressed true-colour Targa file; pixels are blue, green, red[, alpha]
// in file order.
void write_tga(const std::string& path, int width, int height, int bpp, int descriptor,
               const std::vector<unsigned char>& pixels);
// A 256 x 256 32-bit picture of one colour.
void write_uniform_tga(const std::string& path, Rgb color);

// Makes a fresh directory the working directory for the object's lifetime.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return dir_; }

private:
    std::string dir_;
    std::string previous_;
};

// Level-0 texels of the bound 2D texture as red, green, blue, rows from t = 0.
std::vector<Rgb> read_texture(int* width, int* height);
// Pixels of the frame last shown, rows from the bottom up.
std::vector<Rgb> read_frame(int x, int y, int width, int height);
// One pixel of the frame last shown; origin at the bottom left.
Rgb read_pixel(int x, int y);
