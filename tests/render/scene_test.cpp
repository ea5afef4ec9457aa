#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/tga.h"
#include "render/render.h"
#include "tests/render/render_fixture.h"
#include "tests/support/gl_state.h"
#include "tests/support/glut_window.h"
#include "tests/support/targa.h"

namespace {

// The opposite of what set-up must leave, so that every value checked below
// has to be set by it.
void scramble_scene_state()
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glShadeModel(GL_FLAT);
    glDisable(GL_DEPTH_TEST);
    glCullFace(GL_FRONT);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    const float zero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const float fifty[1] = {50.0f};
    glMaterialfv(GL_FRONT, GL_SPECULAR, zero);
    glMaterialfv(GL_FRONT, GL_SHININESS, fifty);
    glLightfv(GL_LIGHT0, GL_POSITION, zero);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, zero);
    glLightfv(GL_LIGHT0, GL_SPECULAR, zero);
    for (GLenum cap : {GL_CULL_FACE, GL_LIGHTING, GL_LIGHT0, GL_TEXTURE_2D, GL_TEXTURE_GEN_S,
                       GL_TEXTURE_GEN_T})
        glDisable(cap);
    glBindTexture(GL_TEXTURE_2D, 0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void expect_floats(GLenum what, const float* got, const std::vector<float>& want)
{
    for (size_t i = 0; i < want.size(); i++)
        EXPECT_FLOAT_EQ(got[i], want[i]) << "component " << i << " of 0x" << std::hex << what;
}

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override { open_test_window(); }
};

TEST_F(SceneTest, InitSceneLeavesTheLastingGlState)
{
    ScratchFolder folder;
    write_uniform_tga("map2.tga", {128, 128, 128});
    scramble_scene_state();
    init_scene();
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    for (GLenum cap : {GL_CULL_FACE, GL_LIGHTING, GL_LIGHT0, GL_TEXTURE_2D, GL_TEXTURE_GEN_S,
                       GL_TEXTURE_GEN_T, GL_NORMALIZE, GL_COLOR_MATERIAL})
        EXPECT_FALSE(glIsEnabled(cap)) << "capability 0x" << std::hex << cap;

    GLint value = 0;
    auto got = [&](auto get, GLenum target, GLenum what) {
        get(target, what, &value);
        return value;
    };
    EXPECT_EQ(gl_integer(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_EQ(gl_integer(GL_CULL_FACE_MODE), GL_BACK);
    EXPECT_EQ(got(glGetTexGeniv, GL_S, GL_TEXTURE_GEN_MODE), GL_SPHERE_MAP);
    EXPECT_EQ(got(glGetTexGeniv, GL_T, GL_TEXTURE_GEN_MODE), GL_SPHERE_MAP);

    EXPECT_NE(texture_id, 0u);
    EXPECT_EQ((GLuint)gl_integer(GL_TEXTURE_BINDING_2D), texture_id);
    EXPECT_EQ(got(glGetTexParameteriv, GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER),
              GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(got(glGetTexParameteriv, GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(got(glGetTexEnviv, GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE), GL_MODULATE);

    float v[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, v);
    expect_floats(GL_COLOR_CLEAR_VALUE, v, {1.0f, 1.0f, 1.0f, 1.0f});
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, v);
    expect_floats(GL_SPECULAR, v, {1.0f, 1.0f, 1.0f, 1.0f});
    glGetMaterialfv(GL_FRONT, GL_SHININESS, v);
    expect_floats(GL_SHININESS, v, {0.0f});
    glGetLightfv(GL_LIGHT0, GL_POSITION, v);
    expect_floats(GL_POSITION, v, {1.0f, 1.0f, 1.0f, 1.0f});
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, v);
    expect_floats(GL_DIFFUSE, v, {1.0f, 1.0f, 0.0f, 1.0f});
    glGetLightfv(GL_LIGHT0, GL_SPECULAR, v);
    expect_floats(GL_SPECULAR, v, {1.0f, 1.0f, 0.0f, 1.0f});
}

// The file stores its rows bottom to top; the picture's top row must become
// the texture's row at t = 0, with red, green and blue where the file put them.
TEST_F(SceneTest, InitSceneUploadsMap2WithItsOwnColoursAndFullMipmapChain)
{
    ScratchFolder folder;
    std::vector<unsigned char> file(256 * 256 * 4, 100);
    auto put = [&](int x, int row_from_top, std::array<unsigned char, 4> bgra) {
        std::copy(bgra.begin(), bgra.end(), &file[((size_t)(255 - row_from_top) * 256 + x) * 4]);
    };
    put(0, 0, {0, 0, 255, 0});      // top left: red, transparent
    put(255, 0, {255, 0, 0, 255});  // top right: blue
    put(0, 255, {0, 255, 0, 7});    // bottom left: green
    write_file("map2.tga",
               tga_bytes({.width = 256, .height = 256, .bpp = 32, .descriptor = 0x08}, file));
    init_scene();

    int width = 0, height = 0;
    std::vector<Rgb> texels = read_texture(&width, &height);
    ASSERT_EQ(width, 256);
    ASSERT_EQ(height, 256);
    EXPECT_EQ(texels[0], (Rgb{255, 0, 0}));
    EXPECT_EQ(texels[255], (Rgb{0, 0, 255}));
    EXPECT_EQ(texels[255 * 256], (Rgb{0, 255, 0}));
    EXPECT_EQ(texels[128 * 256 + 128], (Rgb{100, 100, 100}));
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 8, GL_TEXTURE_WIDTH, &value);
    EXPECT_EQ(value, 1) << "the mipmap chain ends at 1 x 1";
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &value);
    EXPECT_EQ(value, GL_RGB);
}

struct UploadCase {
    const char* name;
    int width, height, components;
    GLenum format;
    std::vector<unsigned char> pixels;
    std::vector<unsigned char> color_map;  // red, green, blue per entry
    int map_entries;                       // what the record declares
    int texture_width, texture_height;  // 0: GLU's choice, one colour throughout
    std::vector<Rgb> texels;
};

const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, black{0, 0, 0}, white{255, 255, 255};

std::vector<UploadCase> upload_cases()
{
    return {
        {"bgra_2x2", 2, 2, 4, GL_BGRA_EXT,
         {0, 0, 255, 0, 255, 0, 0, 255, 0, 255, 0, 128, 10, 20, 30, 40},
         {}, 0, 2, 2, {red, blue, green, {30, 20, 10}}},
        // Six-byte rows: any row padding would shift the second row.
        {"bgr_2x2", 2, 2, 3, GL_BGR_EXT, {0, 0, 255, 255, 0, 0, 0, 255, 0, 1, 2, 3}, {}, 0, 2, 2,
         {red, blue, green, {3, 2, 1}}},
        {"luminance_2x2", 2, 2, 1, GL_LUMINANCE, {0, 60, 200, 255}, {}, 0, 2, 2,
         {black, {60, 60, 60}, {200, 200, 200}, white}},
        {"luminance_1x1", 1, 1, 1, GL_LUMINANCE, {77}, {}, 0, 1, 1, {{77, 77, 77}}},
        // Index 3 is just past the three entries the record declares, although
        // the buffer holds a fourth.
        {"color_index_2x2", 2, 2, 1, GL_COLOR_INDEX, {0, 1, 2, 3},
         {255, 0, 0, 10, 20, 30, 255, 255, 255, 9, 9, 9}, 3, 2, 2,
         {red, {10, 20, 30}, white, black}},
        {"color_index_far_outside", 2, 1, 1, GL_COLOR_INDEX, {255, 1},
         {255, 0, 0, 10, 20, 30}, 2, 2, 1, {black, {10, 20, 30}}},
        {"color_index_without_map", 2, 1, 1, GL_COLOR_INDEX, {0, 1}, {}, 0, 2, 1, {black, black}},
        // Nine-byte rows and a size that is no power of two, which GLU scales
        // to a size of its choosing: every texel keeps the one colour.
        {"bgr_3x3_scaled", 3, 3, 3, GL_BGR_EXT,
         {30, 20, 10, 30, 20, 10, 30, 20, 10, 30, 20, 10, 30, 20, 10, 30, 20, 10, 30, 20, 10,
          30, 20, 10, 30, 20, 10},
         {}, 0, 0, 0, {{10, 20, 30}}},
    };
}

class UploadTest : public SceneTest, public ::testing::WithParamInterface<UploadCase> {};

TEST_P(UploadTest, TexelsMatchTheDecodedImage)
{
    UploadCase c = GetParam();
    // Exact copies on the heap, so the sanitizer sees any read past their ends.
    auto heap_copy = [](const std::vector<unsigned char>& bytes) -> unsigned char* {
        if (bytes.empty())
            return nullptr;
        return (unsigned char*)memcpy(malloc(bytes.size()), bytes.data(), bytes.size());
    };
    unsigned char *pixels = heap_copy(c.pixels), *color_map = heap_copy(c.color_map);
    TgaImage image{c.width, c.height, c.components, c.format, c.map_entries,
                   color_map ? (GLenum)GL_RGB : 0u, color_map, pixels};

    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    upload_texture(&image);
    EXPECT_EQ(gl_integer(GL_UNPACK_ALIGNMENT), 8) << "unpack alignment restored";
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);

    int width = 0, height = 0;
    std::vector<Rgb> texels = read_texture(&width, &height);
    if (c.texture_width == 0) {
        EXPECT_GT(width * height, 0);
        EXPECT_EQ(texels, std::vector<Rgb>(texels.size(), c.texels[0]));
    } else {
        EXPECT_EQ(width, c.texture_width);
        EXPECT_EQ(height, c.texture_height);
        EXPECT_EQ(texels, c.texels);
    }
    glDeleteTextures(1, &texture);
    free(pixels);
    free(color_map);
}

INSTANTIATE_TEST_SUITE_P(Images, UploadTest, ::testing::ValuesIn(upload_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

#if !defined(__SANITIZE_ADDRESS__)
// Uploads a 65535 x 65535 colour-mapped image, whose expansion takes 12 GB,
// with the address space capped at 4 GB; the message goes to the error stream
// for the test to see.
void upload_capped()
{
    rlimit cap = {1L << 32, 1L << 32};
    setrlimit(RLIMIT_AS, &cap);
    fflush(stdout);
    dup2(2, 1);
    unsigned char index = 0, entry[3] = {1, 2, 3};
    TgaImage image{65535, 65535, 1, GL_COLOR_INDEX, 1, GL_RGB, entry, &index};
    upload_texture(&image);
    exit(0);
}

TEST(UploadDeathTest, ColourMapThatCannotBeExpandedIsFatal)
{
    EXPECT_EXIT(upload_capped(), testing::ExitedWithCode(1),
                "^not enough memory for the texture\n$");
}
#endif

}  // namespace
