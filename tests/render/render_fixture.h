// Test support for the scene and frame tests: textures written on the spot
// and pixels read back from the real window.
#pragma once
#include <array>
#include <string>
#include <vector>

using Rgb = std::array<unsigned char, 3>;

// A 256 x 256 32-bit Targa picture of one colour.
void write_uniform_tga(const std::string& path, Rgb color);

// The test window with the scene set up over a white texture, so that what
// reaches the screen is the vertex colour; no mesh, the view at rest, and
// frames drawn by the tests themselves, never behind their backs.
void open_frame_window();

// Level-0 texels of the bound 2D texture as red, green, blue, rows from t = 0.
std::vector<Rgb> read_texture(int* width, int* height);
// Pixels of the frame last shown, rows from the bottom up.
std::vector<Rgb> read_frame(int x, int y, int width, int height);
// One pixel of the frame last shown; origin at the bottom left.
Rgb read_pixel(int x, int y);
