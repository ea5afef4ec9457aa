// The real viewer's game look: small trees of materials and shaders on one
// quad, seen from the front with the light at the eye, whose pixels follow
// from the games' rules.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "tests/support/files.h"
#include "tests/support/image_write.h"
#include "tools/driver/viewer.h"

namespace fs = std::filesystem;

namespace {

const double patience = 60;

struct Corner {
    double x, y, z, u, v;
};

// One quad of two faces, A B C and A C D, wound counter-clockwise seen from
// -Y (the front view's eye) unless given otherwise, textured with `bitmap`.
std::string quad_model(const std::string& bitmap, const Corner (&c)[4], const std::string& extra = "")
{
    std::ostringstream out;
    out << "*3DSMAX_ASCIIEXPORT 200\n*MATERIAL_LIST {\n*MATERIAL_COUNT 1\n*MATERIAL 0 {\n"
        << "*MATERIAL_DIFFUSE 0.5 0.5 0.5\n*MAP_DIFFUSE {\n*BITMAP \"" << bitmap << "\"\n}\n}\n}\n"
        << "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 4\n*MESH_NUMFACES 2\n*MESH_VERTEX_LIST {\n";
    for (int i = 0; i < 4; i++)
        out << "*MESH_VERTEX " << i << " " << c[i].x << " " << c[i].y << " " << c[i].z << "\n";
    out << "}\n*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2\n*MESH_FACE 1: A: 0 B: 2 C: 3\n}\n"
        << "*MESH_NUMTVERTEX 4\n*MESH_TVERTLIST {\n";
    for (int i = 0; i < 4; i++)
        out << "*MESH_TVERT " << i << " " << c[i].u << " " << c[i].v << " 0\n";
    out << "}\n*MESH_NUMTVFACES 2\n*MESH_TFACELIST {\n*MESH_TFACE 0 0 1 2\n*MESH_TFACE 1 0 2 3\n}\n"
        << extra << "}\n*MATERIAL_REF 0\n}\n";
    return out.str();
}

// Upright in the XZ plane, facing -Y; texture V up the picture.
const Corner upright[4] = {{0, 0, 0, 0, 0}, {10, 0, 0, 1, 0}, {10, 0, 10, 1, 1}, {0, 0, 10, 0, 1}};
// The same, wound the other way: its front faces +Y, away from the eye.
const Corner facing_away[4] = {{0, 0, 0, 0, 0}, {0, 0, 10, 0, 1}, {10, 0, 10, 1, 1}, {10, 0, 0, 1, 0}};

// An image of one colour, w x h.
Bytes flat_image(int w, int h, std::initializer_list<unsigned char> rgba)
{
    Bytes pixels;
    for (int i = 0; i < w * h; i++)
        pixels.insert(pixels.end(), rgba);
    return pixels;
}

class GameLookTest : public ::testing::Test {
protected:
    // The quad's picture from the front, the materials' clock at `time`.
    Pixels front_view(const fs::path& model, double time = 0, const std::vector<std::string>& env = {})
    {
        RealViewer viewer;
        std::vector<std::string> all = env;
        all.push_back("ASEVIEW_VIEW=model");
        std::ostringstream at;
        at << "ASEVIEW_TIME=" << time;
        all.push_back(at.str());
        viewer.start({.folder = dir_,
                      .args = {model.string()},
                      .program = ASEVIEW_BIN,
                      .title = model.filename().string() + " - aseview",
                      .env = all});
        if (!viewer.wait_for_first_frame(patience)) {
            ADD_FAILURE() << model << ": no frame; console: " << viewer.console();
            return {};
        }
        viewer.key("1");
        Pixels frame = viewer.settled_screenshot(patience);
        console_ = viewer.console();
        return frame;
    }

    // A tree of one game: its materials or shaders (the path's first folder
    // the game's), its model in that game's models/.
    fs::path tree(const std::string& scripts_path, const std::string& scripts, const std::string& model_text)
    {
        fs::path game = dir_ / "game";
        fs::create_directories((game / scripts_path).parent_path());
        write_file((game / scripts_path).string(), scripts);
        fs::path model = game / fs::path(scripts_path).begin()->string() / "models" / "quad.ase";
        fs::create_directories(model.parent_path());
        write_file(model.string(), model_text);
        return model;
    }

    void image(const std::string& path, int w, int h, const Bytes& rgba)
    {
        fs::path file = dir_ / "game" / path;
        fs::create_directories(file.parent_path());
        write_png_rgba(file.string(), w, h, rgba);
    }

    ScratchFolder scratch_;
    const fs::path dir_ = scratch_.path();
    std::string console_;
};

// The mean of a channel over a box around (x, y) of the frame.
double mean(const Pixels& p, int x, int y, int channel, int half = 4)
{
    double sum = 0;
    int n = 0;
    for (int j = y - half; j <= y + half; j++)
        for (int i = x - half; i <= x + half; i++, n++)
            sum += p.at(i, j)[channel];
    return sum / n;
}

// Unlit Quake III stages give exact bytes: each stage's constant colour is
// floor(255 c), blended over the one before as its blendFunc says.
TEST_F(GameLookTest, QuakeIIIBlendsOfFlatColoursGiveTheirExactSums)
{
    const struct {
        const char* name;
        const char* second_stage;
        int expected;
    } cases[] = {
        {"add", "blendFunc add\nrgbGen const ( 0.5 0.5 0.5 )", 76 + 127},
        {"add_clamps", "blendFunc GL_ONE GL_ONE\nrgbGen const ( 0.9 0.9 0.9 )", 255},
        {"filter", "blendFunc filter\nrgbGen const ( 0.5 0.5 0.5 )", 38},
        {"blend", "blendFunc blend\nrgbGen identity\nalphaGen const 0.25", 120},
        {"double", "blendFunc GL_DST_COLOR GL_SRC_COLOR\nrgbGen const ( 0.5 0.5 0.5 )", 76},
    };
    std::string shaders;
    for (const auto& c : cases)
        shaders += std::string("textures/test/") + c.name + "\n{\n{\nmap $whiteimage\nrgbGen const ( 0.3 0.3 0.3 )\n}\n{\n" +
                   "map $whiteimage\n" + c.second_stage + "\n}\n}\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path model = tree("baseq3/scripts/test.shader", shaders, quad_model(std::string("textures/test/") + c.name, upright));
        Pixels frame = front_view(model);
        ASSERT_TRUE(frame.width) << console_;
        for (int channel = 0; channel < 3; channel++)
            EXPECT_NEAR(frame.at(frame.width / 2, frame.height / 2)[channel], c.expected, 1);
    }
}

// tcMod scroll moves the texture by frac(speed * time): a stripe red on the
// left half and blue on the right has swapped halves half a second of a
// speed-1 scroll later.
TEST_F(GameLookTest, AScrolledStripeMovesWithTheClock)
{
    Bytes stripe;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            stripe.insert(stripe.end(), x < 4 ? std::initializer_list<unsigned char>{255, 0, 0, 255}
                                              : std::initializer_list<unsigned char>{0, 0, 255, 255});
    image("baseq3/textures/test/stripe.png", 8, 8, stripe);
    fs::path model = tree("baseq3/scripts/test.shader",
                          "textures/test/scrolled\n{\n{\nmap textures/test/stripe.png\ntcMod scroll 1 0\n}\n}\n",
                          quad_model("textures/test/scrolled", upright));
    for (double time : {0.0, 0.5}) {
        SCOPED_TRACE(time);
        Pixels frame = front_view(model, time);
        ASSERT_TRUE(frame.width) << console_;
        int y = frame.height / 2, left = frame.width / 2 - 60, right = frame.width / 2 + 60;
        bool swapped = time > 0;
        EXPECT_GT(frame.at(left, y)[swapped ? 2 : 0], 200);
        EXPECT_LT(frame.at(left, y)[swapped ? 0 : 2], 50);
        EXPECT_GT(frame.at(right, y)[swapped ? 0 : 2], 200);
    }
}

// A one-sided face seen from behind is not drawn; cull none draws it.
TEST_F(GameLookTest, AQuadFromBehindShowsOnlyWithCullNone)
{
    for (bool both : {false, true}) {
        SCOPED_TRACE(both);
        std::string shader = std::string("textures/test/side\n{\n") + (both ? "cull none\n" : "") +
                             "{\nmap $whiteimage\nrgbGen const ( 0 0.5 0 )\n}\n}\n";
        fs::path model = tree("baseq3/scripts/test.shader", shader, quad_model("textures/test/side", facing_away));
        Pixels frame = front_view(model);
        ASSERT_TRUE(frame.width) << console_;
        const unsigned char* centre = frame.at(frame.width / 2, frame.height / 2);
        if (both)
            EXPECT_NEAR(centre[1], 127, 1);
        else
            EXPECT_TRUE(frame.white(frame.width / 2, frame.height / 2));
    }
}

// id Tech 4's alpha test keeps a texel whose alpha is above the threshold:
// alpha 200 (0.78) passes 0.5 and is cut at 0.9, where the white
// background shows.
TEST_F(GameLookTest, AlphaTestCutsAgainstItsThreshold)
{
    image("base/textures/test/leaf.png", 4, 4, flat_image(4, 4, {0, 200, 0, 200}));
    for (const char* threshold : {"0.5", "0.9"}) {
        SCOPED_TRACE(threshold);
        fs::path model = tree("base/materials/test.mtr",
                              std::string("textures/test/leaf\n{\n{\nblend diffusemap\nmap textures/test/leaf.png\n"
                                          "alphaTest ") + threshold + "\n}\n}\n",
                              quad_model("textures/test/leaf", upright));
        Pixels frame = front_view(model);
        ASSERT_TRUE(frame.width) << console_;
        bool cut = std::string(threshold) == "0.9";
        EXPECT_EQ(frame.white(frame.width / 2, frame.height / 2), cut);
    }
}

// Lit by the light at the eye, a diffuse texel facing the eye shows at its
// own value; a normal map leaning 30 degrees gives cos 30 of it, as the same
// quad turned 30 degrees with a flat normal map does. The framed quad is
// seen a little from the side: leaning right and left, the two average out.
TEST_F(GameLookTest, ANormalMapLeansTheLightAsTheTurnedQuadDoes)
{
    image("base/textures/test/grey.png", 4, 4, flat_image(4, 4, {160, 160, 160, 255}));
    const struct {
        const char* name;
        unsigned char red;
    } maps[] = {{"flat", 128}, {"right", 191}, {"left", 65}};
    std::string materials;
    for (const auto& map : maps) {
        image(std::string("base/textures/test/") + map.name + ".png", 4, 4, flat_image(4, 4, {map.red, 128, 238, 255}));
        materials += std::string("textures/test/") + map.name + "\n{\ndiffusemap textures/test/grey.png\nbumpmap textures/test/" +
                     map.name + ".png\n}\n";
    }
    image("base/textures/test/flat.png", 4, 4, flat_image(4, 4, {128, 128, 255, 255}));
    double turn = M_PI / 6, c = std::cos(turn) * 10, s = std::sin(turn) * 10;
    const Corner turned[4] = {{0, 0, 0, 0, 0}, {c, s, 0, 1, 0}, {c, s, 10, 1, 1}, {0, 0, 10, 0, 1}};
    const struct {
        const char* material;
        const Corner (&corners)[4];
    } cases[] = {{"textures/test/flat", upright},
                 {"textures/test/right", upright},
                 {"textures/test/left", upright},
                 {"textures/test/flat", turned}};
    double values[4];
    for (int i = 0; i < 4; i++) {
        fs::path model = tree("base/materials/test.mtr", materials, quad_model(cases[i].material, cases[i].corners));
        Pixels frame = front_view(model);
        ASSERT_TRUE(frame.width) << console_;
        values[i] = mean(frame, frame.width / 2, frame.height / 2, 1);
    }
    EXPECT_NEAR(values[0], 160, 3);
    EXPECT_NEAR((values[1] + values[2]) / 2 / values[0], 0.867, 0.02);
    EXPECT_NEAR(values[3] / values[0], std::cos(turn), 0.03);
}

// Green runs down the picture in id Tech 4's and Daemon's normal maps: a
// normal leaning down the texture faces the eye best where the eye looks
// down on it, at the top of the quad; leaning up, at its bottom. Daemon's
// normalFormat X Y Z has green up the picture. The shader is named as its
// normal map's file: the map is that file, not the shader's image.
TEST_F(GameLookTest, GreenLeansTheNormalDownThePicture)
{
    image("base/textures/test/grey.png", 4, 4, flat_image(4, 4, {200, 200, 200, 255}));
    image("base/textures/test/down.png", 4, 4, flat_image(4, 4, {128, 218, 218, 255}));
    image("base/textures/test/up.png", 4, 4, flat_image(4, 4, {128, 38, 218, 255}));
    image("baseq3/textures/test/grey.png", 4, 4, flat_image(4, 4, {200, 200, 200, 255}));
    image("baseq3/textures/test/up.png", 4, 4, flat_image(4, 4, {128, 38, 218, 255}));
    std::string materials =
        "textures/test/down\n{\ndiffusemap textures/test/grey.png\nbumpmap textures/test/down.png\n}\n"
        "textures/test/up\n{\ndiffusemap textures/test/grey.png\nbumpmap textures/test/up.png\n}\n";
    std::string shaders = "textures/test/up\n{\n{\ndiffuseMap textures/test/grey.png\n"
                          "normalMap textures/test/up.png\nnormalFormat X Y Z\n}\n}\n";
    const struct {
        const char* scripts;
        bool down;
    } cases[] = {{"base/materials/test.mtr", true}, {"base/materials/test.mtr", false},
                 {"baseq3/scripts/test.shader", true}};
    for (auto [scripts, down] : cases) {
        SCOPED_TRACE(std::string(scripts) + (down ? " down" : " up"));
        bool daemon = std::string_view(scripts).ends_with(".shader");
        fs::path model = tree(scripts, daemon ? shaders : materials,
                              quad_model(down && !daemon ? "textures/test/down" : "textures/test/up", upright));
        Pixels frame = front_view(model);
        ASSERT_TRUE(frame.width) << console_;
        int x = frame.width / 2, top = frame.height / 2 - 100, bottom = frame.height / 2 + 100;
        double top_value = mean(frame, x, top, 1), bottom_value = mean(frame, x, bottom, 1);
        if (down)
            EXPECT_GT(top_value, bottom_value + 10);
        else
            EXPECT_GT(bottom_value, top_value + 10);
    }
}

}  // namespace

namespace {

int not_white(const Pixels& p)
{
    int count = 0;
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            count += !p.white(x, y);
    return count;
}

// A quad lying flat, seen edge-on from the front, shows next to nothing;
// autosprite turns it to face the eye.
TEST_F(GameLookTest, ALyingQuadWithAutospriteFacesTheEye)
{
    const Corner lying[4] = {{0, 0, 0, 0, 0}, {10, 0, 0, 1, 0}, {10, 10, 0, 1, 1}, {0, 10, 0, 0, 1}};
    int shown[2];
    for (bool sprite : {false, true}) {
        std::string shader = std::string("textures/test/sprite\n{\ncull none\n") +
                             (sprite ? "deformVertexes autosprite\n" : "") +
                             "{\nmap $whiteimage\nrgbGen const ( 0 0 0.5 )\n}\n}\n";
        fs::path model = tree("baseq3/scripts/test.shader", shader, quad_model("textures/test/sprite", lying));
        Pixels frame = front_view(model);
        ASSERT_TRUE(frame.width) << console_;
        shown[sprite] = not_white(frame);
    }
    int all = 640 * 480;
    EXPECT_LT(shown[0], all / 100);
    EXPECT_GT(shown[1], all / 10);
}

// What the game would not draw as written gets a line: a material it would
// replace by its default (drawn in the editor's look) names its file and
// line; a bump map that is not there names its material.
TEST_F(GameLookTest, DefaultedMaterialsAndMissingMapsAreNamed)
{
    image("base/textures/test/grey.png", 4, 4, flat_image(4, 4, {160, 160, 160, 255}));
    std::string materials =
        "textures/test/bad\n{\n{\nblend nonsense\nmap textures/test/grey.png\n}\n}\n"
        "textures/test/bumpless\n{\ndiffusemap textures/test/grey.png\nbumpmap textures/test/gone.png\n}\n";
    fs::path mtr = dir_ / "game" / "base" / "materials" / "test.mtr";
    fs::path model = tree("base/materials/test.mtr", materials, quad_model("textures/test/bad", upright));
    Pixels frame = front_view(model);
    ASSERT_TRUE(frame.width);
    EXPECT_NE(console_.find("default material: textures/test/bad (" + mtr.string() + ":4: "), std::string::npos)
        << console_;
    EXPECT_FALSE(frame.white(frame.width / 2, frame.height / 2));

    model = tree("base/materials/test.mtr", materials, quad_model("textures/test/bumpless", upright));
    frame = front_view(model);
    EXPECT_NE(console_.find("map not found: textures/test/gone.png (bump map of textures/test/bumpless)\n"),
              std::string::npos)
        << console_;
    // The flat normal stands in: the diffuse texel at its own value.
    EXPECT_NEAR(mean(frame, frame.width / 2, frame.height / 2, 1), 160, 3);
}

// Without OpenGL 2.1 and GLSL 1.20 the view keeps to the editor's look and says so once.
TEST_F(GameLookTest, WithoutGlsl120TheEditorsLookIsShown)
{
    fs::path model = tree("baseq3/scripts/test.shader",
                          "textures/test/add\n{\n{\nmap $whiteimage\nrgbGen const ( 0.3 0.3 0.3 )\n}\n}\n",
                          quad_model("textures/test/add", upright));
    Pixels frame = front_view(model, 0, {"MESA_GL_VERSION_OVERRIDE=1.5"});
    ASSERT_TRUE(frame.width);
    const std::string line = "game look: no OpenGL 2.1 with GLSL 1.20; the model view shows the editor's look\n";
    size_t at = console_.find(line);
    EXPECT_NE(at, std::string::npos) << console_;
    EXPECT_EQ(console_.find(line, at + 1), std::string::npos);
    // Lit white, not the stage's exact 76.
    EXPECT_GT(frame.at(frame.width / 2, frame.height / 2)[0], 100);
}

}  // namespace

namespace {

// Doom 3's specular: a flat normal facing the eye reads its table's top,
// adding twice the specular texel to the diffuse one (0.25 + 2 x 0.0625).
TEST_F(GameLookTest, SpecularAddsTwiceItsTexelFacingTheEye)
{
    image("base/textures/test/d.png", 4, 4, flat_image(4, 4, {64, 64, 64, 255}));
    image("base/textures/test/s.png", 4, 4, flat_image(4, 4, {16, 16, 16, 255}));
    fs::path model = tree("base/materials/test.mtr",
                          "textures/test/shiny\n{\ndiffusemap textures/test/d.png\nspecularmap textures/test/s.png\n}\n",
                          quad_model("textures/test/shiny", upright));
    Pixels frame = front_view(model);
    ASSERT_TRUE(frame.width) << console_;
    EXPECT_NEAR(mean(frame, frame.width / 2, frame.height / 2, 1), 64 + 2 * 16, 3);
}

// A hostile shader and material, ten thousand stages each with the clock
// in every register, still give a first frame and a view at rest.
TEST_F(GameLookTest, HostileMaterialsDrawInBoundedTime)
{
    std::string shader = "textures/test/many\n{\n", material = "table t { { 0, 1 } }\ntextures/test/many\n{\n";
    for (int i = 0; i < 10000; i++) {
        shader += "{\nmap $whiteimage\nblendFunc add\nrgbGen wave sin 0 0.0001 0 1\ntcMod scroll 1 1\n}\n";
        material += "{\nblend add\nmap _white\nrgb t[t[t[time]]] * 0.0001\nscroll time, time\n}\n";
    }
    for (const auto& [path, text] : {std::pair{"baseq3/scripts/test.shader", shader + "}\n"},
                                     std::pair{"base/materials/test.mtr", material + "}\n"}}) {
        SCOPED_TRACE(path);
        fs::path model = tree(path, text, quad_model("textures/test/many", upright));
        Pixels frame = front_view(model);
        EXPECT_TRUE(frame.width) << console_;
    }
}

}  // namespace
