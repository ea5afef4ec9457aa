// How long a 2048 x 2048 texture with its mips takes to reach the GL: as a DXT1
// DDS file (its blocks sent as they are) and as its PNG twin (decoded, GLU's
// mipmaps), each read from a file, decoded and uploaded by the model view's
// own code on a real context, in turns; the median of the rounds counts.
// Goal: the DDS at most a quarter of the PNG's time.
#include <GL/freeglut.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/viewer_probe.h"
#include "image/decode.h"
#include "render/render.h"
#include "tests/support/dds_write.h"
#include "tools/driver/display.h"

namespace fs = std::filesystem;

constexpr int side = 2048, rounds = 9;
constexpr double goal = 0.25;

// Soft gradients with some grain, as a painted texture has: PNG compresses
// it as it would a real one. Each mip level is drawn at its own size.
static DdsPicture texture_picture(int size)
{
    DdsPicture p = {size, size, DdsBytes((size_t)size * size * 4)};
    unsigned grain = 1;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            grain = grain * 1103515245 + 12345;
            uint8_t* t = &p.rgba[((size_t)y * size + x) * 4];
            t[0] = (uint8_t)(x * 256 / size + (grain >> 28));
            t[1] = (uint8_t)(y * 256 / size + (grain >> 29));
            t[2] = (uint8_t)((x + y) * 128 / size);
            t[3] = 255;
        }
    return p;
}

static bool write_png(const std::string& path, const DdsPicture& p)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = p.width;
    image.height = p.height;
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, p.rgba.data(), 0, nullptr) != 0;
}

static bool write_bytes(const std::string& path, const DdsBytes& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    bool written = file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return file && fclose(file) == 0 && written;
}

// Seconds from the file to a texture the GL holds, or -1 when it is not read.
static double time_to_gl(const std::string& path)
{
    auto start = std::chrono::steady_clock::now();
    model_texture texture{};
    texture.image = image_load(path.c_str());
    texture.found = texture.image != nullptr;
    model_textures = {texture};
    upload_model_textures();
    glFinish();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    glDeleteTextures(1, &model_textures[0].id);
    model_textures.clear();
    return texture.found ? seconds : -1;
}

int main(int argc, char** argv)
{
    if (!use_own_display()) {
        fprintf(stderr, "bench_dds: no X server\n");
        return 1;
    }
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutCreateWindow("aseview bench");
    fs::path dir = fs::temp_directory_path() / ("aseview_bench_dds_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string dds = (dir / "texture.dds").string(), png = (dir / "texture.png").string();
    std::vector<DdsPicture> chain;
    for (int size = side; size > 0; size /= 2)
        chain.push_back(texture_picture(size));
    if (!write_bytes(dds, dds_file(dds_dxt1, chain, (uint32_t)chain.size())) ||
        !write_png(png, chain[0])) {
        fprintf(stderr, "bench_dds: cannot write into %s\n", dir.c_str());
        return 1;
    }
    printf("%s, %d x %d: DDS (DXT1, %zu levels) %.1f MB, PNG %.1f MB\n",
           (const char*)glGetString(GL_RENDERER), side, side, chain.size(),
           fs::file_size(dds) / 1e6, fs::file_size(png) / 1e6);
    std::vector<double> dds_s, png_s, ratios;
    for (int r = 0; r < rounds; r++) {
        double d = time_to_gl(dds), p = time_to_gl(png);
        if (d < 0 || p < 0) {
            fprintf(stderr, "bench_dds: %s\n", image_error_text.c_str());
            return 1;
        }
        dds_s.push_back(d);
        png_s.push_back(p);
        ratios.push_back(d / p);
    }
    fs::remove_all(dir);
    double ratio = median(ratios);
    printf("file to GL, median of %d rounds in turns: DDS %.2f ms, PNG %.2f ms\n", rounds,
           1000 * median(dds_s), 1000 * median(png_s));
    printf("ratio %.3f (goal: at most %.2f): %s\n", ratio, goal, ratio <= goal ? "met" : "MISSED");
    return ratio <= goal ? 0 : 1;
}
