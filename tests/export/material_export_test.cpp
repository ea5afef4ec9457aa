// The exporter on small game trees of our own: what each material says
// (normal, specular and glow maps, coverage, sides, vertex colours, texture
// transforms, lighting) as the real binary writes it into glTF, read back
// through tinygltf and checked by the Khronos validator.
#include <sys/wait.h>

#include <cmath>

#include "tests/export/gltf_files.h"
#include "tests/support/image_write.h"

namespace fs = std::filesystem;

namespace {

Bytes flat(int w, int h, std::initializer_list<uint8_t> rgba)
{
    Bytes out;
    for (int i = 0; i < w * h; i++)
        out.insert(out.end(), rgba);
    return out;
}

// A coloured quad: the four corners red, green, blue and white.
const char* const colour_lists =
    "*MESH_NUMCVERTEX 4\n*MESH_CVERTLIST {\n*MESH_VERTCOL 0 1 0 0\n*MESH_VERTCOL 1 0 1 0\n"
    "*MESH_VERTCOL 2 0 0 1\n*MESH_VERTCOL 3 1 1 1\n}\n*MESH_NUMCVFACES 2\n*MESH_CFACELIST {\n"
    "*MESH_CFACE 0 0 1 2\n*MESH_CFACE 1 0 2 3\n}\n";

class MaterialExportTest : public ::testing::Test {
protected:
    // A game's tree: its scripts at `scripts_path` below the game's folder,
    // the quad in its models/ naming `material`, exported; the file checked
    // and read back. `out` gets the exporter's lines.
    tinygltf::Model exported(const std::string& scripts_path, const std::string& scripts, const std::string& material,
                             const std::string& args = "", const char* mesh_extra = "")
    {
        fs::path game = dir_ / "game";
        fs::create_directories((game / scripts_path).parent_path());
        write_file((game / scripts_path).string(), scripts);
        fs::path model = game / fs::path(scripts_path).begin()->string() / "models" / "quad.ase";
        fs::create_directories(model.parent_path());
        std::string text = quad_model("*MAP_DIFFUSE {\n*BITMAP \"" + material + "\"\n}");
        text.insert(text.find("*MESH_TVERTLIST"), mesh_extra);
        write_file(model.string(), text);
        run_result r = run_export(args + quoted(model.string()) + " quad.glb");
        out_ = r.out;
        EXPECT_EQ(r.status, 0) << r.err;
        expect_valid("quad.glb");
        return load_glb("quad.glb");
    }

    void image(const std::string& path, int w, int h, const Bytes& rgba)
    {
        fs::path file = dir_ / "game" / path;
        fs::create_directories(file.parent_path());
        write_png_rgba(file.string(), w, h, rgba);
    }

    ScratchFolder scratch_;
    const fs::path dir_ = scratch_.path();
    std::string out_;
};

// The texel at (x, y) of a texture's embedded image, rows counted from the top.
std::vector<int> texel(const tinygltf::Model& m, int texture, int x, int y)
{
    const tinygltf::Image& image = m.images.at(size_t(m.textures.at(size_t(texture)).source));
    RgbaImage* decoded = decode_image(view_bytes(m, image.bufferView));
    if (decoded == nullptr)
        return {};
    const unsigned char* p = decoded->pixels + (size_t(decoded->height - 1 - y) * size_t(decoded->width) + size_t(x)) * 4;
    std::vector<int> out(p, p + 4);
    image_free(decoded);
    return out;
}

const tinygltf::Value& extension(const tinygltf::Material& material, const char* name)
{
    static const tinygltf::Value none;
    auto found = material.extensions.find(name);
    return found == material.extensions.end() ? none : found->second;
}

double number(const tinygltf::Value& v)
{
    return v.IsNumber() ? v.GetNumberAsDouble() : NAN;
}

const char* const diffuse = "textures/test/grey.png";

// Normal maps keep the games' Y down the picture in the game's tree; in
// glTF Y is up: the green channel is turned, R and B kept, whether the map
// is a file or made by heightmap from a ramp of heights.
TEST_F(MaterialExportTest, NormalMapsLeanTheWayGltfReadsThem)
{
    image(diffuse, 8, 8, flat(8, 8, {200, 200, 200, 255}));
    Bytes right, down;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            right.insert(right.end(), {uint8_t(16 * x), uint8_t(16 * x), uint8_t(16 * x), 255});
            down.insert(down.end(), {uint8_t(16 * y), uint8_t(16 * y), uint8_t(16 * y), 255});
        }
    image("textures/test/right.png", 8, 8, right);
    image("textures/test/down.png", 8, 8, down);
    struct {
        const char* name;
        std::initializer_list<uint8_t> file_texel;  // the map's file, flat
        const char* bump;
        int x, y;  // where to look in the written image
        std::vector<int> written;
        const char* daemon_format = nullptr;  // a Daemon shader's normalFormat; null: an id Tech 4 material
    } cases[] = {
        {"leaning_down_the_picture", {128, 218, 218, 255}, "textures/test/n.png", 1, 1, {128, 37, 218, 255}},
        {"leaning_up_the_picture", {128, 37, 218, 255}, "textures/test/n.png", 1, 1, {128, 218, 218, 255}},
        {"leaning_right", {191, 128, 238, 255}, "textures/test/n.png", 1, 1, {191, 127, 238, 255}},
        {"heights_rising_right", {}, "heightmap(textures/test/right.png, 4)", 3, 3, {97, 127, 250, 255}},
        {"heights_rising_right_wrap", {}, "heightmap(textures/test/right.png, 4)", 7, 3, {238, 127, 190, 255}},
        {"heights_rising_down", {}, "heightmap(textures/test/down.png, 4)", 3, 3, {128, 158, 250, 255}},
        // Daemon's maps are the games' unless normalFormat says otherwise,
        // in OpenGL's axes (Y up).
        {"daemon_leaning_down", {128, 218, 218, 255}, "textures/test/n.png", 1, 1, {128, 37, 218, 255}, ""},
        {"daemon_y_up", {128, 37, 218, 255}, "textures/test/n.png", 1, 1, {128, 37, 218, 255}, "X Y Z"},
        {"daemon_x_left", {191, 128, 238, 255}, "textures/test/n.png", 1, 1, {64, 128, 238, 255}, "-X Y Z"},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        if (t.file_texel.size())
            image("textures/test/n.png", 4, 4, flat(4, 4, t.file_texel));
        std::string scripts =
            t.daemon_format == nullptr
                ? std::string("textures/test/bumpy\n{\ndiffusemap ") + diffuse + "\nbumpmap " + t.bump + "\n}\n"
                : std::string("textures/test/bumpy\n{\n{\ndiffuseMap ") + diffuse + "\nnormalMap " + t.bump +
                      "\nnormalFormat " + t.daemon_format + "\n}\n}\n";
        const char* path = t.daemon_format == nullptr ? "base/materials/test.mtr" : "base/scripts/test.shader";
        tinygltf::Model m = exported(path, scripts, "textures/test/bumpy");
        ASSERT_EQ(m.materials.size(), 1u);
        const tinygltf::Material& material = m.materials[0];
        ASSERT_GE(material.normalTexture.index, 0);
        EXPECT_EQ(material.normalTexture.scale, 1.0);
        EXPECT_EQ(texel(m, material.normalTexture.index, t.x, t.y), t.written);
        EXPECT_EQ(texel(m, material.pbrMetallicRoughness.baseColorTexture.index, 0, 0),
                  (std::vector<int>{200, 200, 200, 255}));
        EXPECT_EQ(m.images.size(), 2u);
        EXPECT_TRUE(m.extensionsRequired.empty());
        // The game's frame: T along +s (the file's X), N x T w up the picture,
        // which runs from the corner (0,0,0) to (0,2,3): (0, 3, -2) in glTF's axes.
        const tinygltf::Primitive& p = m.meshes.at(0).primitives.at(0);
        std::vector<float> tangents = floats(m, accessor(m, p, "TANGENT"), 4);
        std::vector<float> normals = floats(m, accessor(m, p, "NORMAL"), 3);
        const float* tn = tangents.data();
        const float* n = normals.data();
        EXPECT_NEAR(tn[0], 1.0f, 1e-5);
        float up[3] = {n[1] * tn[2] - n[2] * tn[1], n[2] * tn[0] - n[0] * tn[2], n[0] * tn[1] - n[1] * tn[0]};
        EXPECT_NEAR(tn[3] * (up[1] * 3 - up[2] * 2) / std::sqrt(13.0f), 1.0f, 1e-5);
    }
}

// Blender's own glTF importer, where Blender is installed: the bump
// material has a Normal Map node fed by the turned map.
TEST_F(MaterialExportTest, BlenderShowsTheBumpAsANormalMapNode)
{
    if (std::string(BLENDER).empty())
        GTEST_SKIP() << "no blender";
    image(diffuse, 4, 4, flat(4, 4, {200, 200, 200, 255}));
    image("textures/test/n.png", 4, 4, flat(4, 4, {128, 218, 218, 255}));
    exported("base/materials/test.mtr",
             std::string("textures/test/bumpy\n{\ndiffusemap ") + diffuse + "\nbumpmap textures/test/n.png\n}\n",
             "textures/test/bumpy");
    int status = system((quoted(BLENDER) + " -b --factory-startup --python-exit-code 1 --python " +
                         quoted(BLENDER_SCRIPT) + " -- quad.glb >blender.txt 2>&1").c_str());
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "Blender's glTF importer needs numpy (python3-numpy)";
    std::string printed = read_file("blender.txt");
    ASSERT_EQ(WEXITSTATUS(status), 0) << printed;
    EXPECT_NE(printed.find("normal map node fed by 128 37 218 255\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("base colour fed by 200 200 200 255\n"), std::string::npos) << printed;
}

// A worker keeps what it converted for its next models: each file still
// has its own image, and a game of another folder, naming the same map,
// gets its own map, not the first game's.
TEST_F(MaterialExportTest, ABatchSharesConvertedMapsWithinAGameOnly)
{
    const char* const games[] = {"one", "two"};
    const uint8_t greens[] = {218, 100};
    for (int g = 0; g < 2; g++) {
        fs::path root = dir_ / "in" / games[g] / "base";
        fs::create_directories(root / "materials");
        fs::create_directories(root / "models");
        write_png_rgba((root / "grey.png").string(), 4, 4, flat(4, 4, {200, 200, 200, 255}));
        write_png_rgba((root / "n.png").string(), 4, 4, flat(4, 4, {128, greens[g], 218, 255}));
        write_file((root / "materials" / "m.mtr").string(),
                   "textures/test/bumpy\n{\ndiffusemap grey.png\nbumpmap n.png\n}\n");
        for (const char* model : {"a.ase", "b.ase"})
            write_file((root / "models" / model).string(),
                       quad_model("*MAP_DIFFUSE {\n*BITMAP \"textures/test/bumpy\"\n}"));
    }
    run_result r = run_export("-j 1 -o out in");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("exported 4 of 4 models (0 textures not found, 0 failed)"), std::string::npos) << r.out;
    for (int g = 0; g < 2; g++)
        for (const char* model : {"a.glb", "b.glb"}) {
            std::string glb = "out/" + std::string(games[g]) + "/base/models/" + model;
            SCOPED_TRACE(glb);
            expect_valid(glb);
            tinygltf::Model m = load_glb(glb);
            EXPECT_EQ(texel(m, m.materials.at(0).normalTexture.index, 0, 0),
                      (std::vector<int>{128, 255 - greens[g], 218, 255}));
        }
}

// Doom 3's highlight stands as roughness 0.65 beside its specular map; The
// Dark Mod's exponent 10 + 20 B varies per texel: B 255 gives roughness
// 0.5, B 0 gives 0.639, in the green of a metallic-roughness map.
TEST_F(MaterialExportTest, SpecularMapsGiveTheGamesHighlight)
{
    image(diffuse, 4, 4, flat(4, 4, {200, 200, 200, 255}));
    Bytes spec = flat(2, 1, {64, 64, 255, 255});
    spec[4] = spec[5] = 64, spec[6] = 0;
    image("textures/test/s.png", 2, 1, spec);
    const std::string material = std::string("textures/test/shiny\n{\ndiffusemap ") + diffuse +
                                 "\nspecularmap textures/test/s.png\n}\n";
    for (bool dark_mod : {false, true}) {
        SCOPED_TRACE(dark_mod);
        if (dark_mod)
            write_file((dir_ / "game" / "base" / "darkmod.txt").string(), "");
        tinygltf::Model m = exported("base/materials/test.mtr", material, "textures/test/shiny");
        const tinygltf::Material& written = m.materials.at(0);
        const tinygltf::Value& specular = extension(written, "KHR_materials_specular");
        ASSERT_TRUE(specular.IsObject());
        EXPECT_EQ(number(specular.Get("specularFactor")), 1.0);
        int map = specular.Get("specularColorTexture").Get("index").GetNumberAsInt();
        EXPECT_EQ(texel(m, map, 0, 0), (std::vector<int>{64, 64, 255, 255}));
        EXPECT_EQ(written.pbrMetallicRoughness.metallicFactor, 0.0);
        int roughness = written.pbrMetallicRoughness.metallicRoughnessTexture.index;
        if (dark_mod) {
            ASSERT_GE(roughness, 0);
            EXPECT_EQ(texel(m, roughness, 0, 0)[1], 128);
            EXPECT_EQ(texel(m, roughness, 1, 0)[1], 163);
            EXPECT_EQ(written.pbrMetallicRoughness.roughnessFactor, 1.0);
        } else {
            EXPECT_LT(roughness, 0);
            EXPECT_NEAR(written.pbrMetallicRoughness.roughnessFactor, 0.65, 1e-6);
        }
        EXPECT_NE(std::find(m.extensionsUsed.begin(), m.extensionsUsed.end(), "KHR_materials_specular"),
                  m.extensionsUsed.end());
    }
}

// Coverage and sides: the games' tests and blends as glTF's alpha modes
// and cutoffs, their culling as double sides or a turned winding.
TEST_F(MaterialExportTest, CoverageAndSidesAsTheGameDrawsThem)
{
    image("textures/test/leaf.png", 4, 4, flat(4, 4, {0, 200, 0, 100}));
    struct {
        const char* name;
        const char* path;
        const char* script;
        const char* mode;
        double cutoff;
        int alpha;  // the written base texel's alpha
        bool double_sided, reversed;
    } cases[] = {
        {"alpha_test_0_9", "base/materials/test.mtr",
         "{\n{\nblend diffusemap\nmap textures/test/leaf.png\nalphaTest 0.9\n}\n}", "MASK", 0.9 + 0.5 / 255, 100,
         false, false},
        {"translucent", "base/materials/test.mtr", "{\ntranslucent\ndiffusemap textures/test/leaf.png\n}", "BLEND",
         0.5, 100, false, false},
        {"two_sided", "base/materials/test.mtr", "{\ntwoSided\ndiffusemap textures/test/leaf.png\n}", "OPAQUE", 0.5,
         100, true, false},
        {"back_sided", "base/materials/test.mtr", "{\nbackSided\ndiffusemap textures/test/leaf.png\n}", "OPAQUE",
         0.5, 100, false, true},
        {"ge128", "baseq3/scripts/test.shader", "{\n{\nmap textures/test/leaf.png\nalphaFunc GE128\n}\n}", "MASK",
         0.5, 100, false, false},
        {"gt0", "baseq3/scripts/test.shader", "{\n{\nmap textures/test/leaf.png\nalphaFunc GT0\n}\n}", "MASK",
         0.5 / 255, 100, false, false},
        {"lt128", "baseq3/scripts/test.shader", "{\n{\nmap textures/test/leaf.png\nalphaFunc LT128\n}\n}", "MASK",
         0.5, 155, false, false},
        {"blend_func_blend", "baseq3/scripts/test.shader",
         "{\ncull disable\n{\nmap textures/test/leaf.png\nblendFunc blend\n}\n}", "BLEND", 0.5, 100, true, false},
        {"cull_back", "baseq3/scripts/test.shader", "{\ncull back\n{\nmap textures/test/leaf.png\n}\n}", "OPAQUE",
         0.5, 100, false, true},
    };
    // The quad faces (0, -3, 2) in the file's axes: (0, 2, 3) in glTF's.
    const float facing = 2 / std::sqrt(13.0f);
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        fs::remove_all(dir_ / "game" / "base");
        tinygltf::Model m = exported(t.path, std::string("textures/test/leaf\n") + t.script + "\n",
                                     "textures/test/leaf");
        fs::remove_all(dir_ / "game" / fs::path(t.path).begin()->string());
        const tinygltf::Material& material = m.materials.at(0);
        EXPECT_EQ(material.alphaMode, t.mode);
        EXPECT_NEAR(material.alphaCutoff, t.cutoff, 1e-6);
        EXPECT_EQ(material.doubleSided, t.double_sided);
        EXPECT_EQ(texel(m, material.pbrMetallicRoughness.baseColorTexture.index, 0, 0).at(3), t.alpha);
        const tinygltf::Primitive& p = m.meshes.at(0).primitives.at(0);
        std::vector<float> normals = floats(m, accessor(m, p, "NORMAL"), 3);
        EXPECT_NEAR(normals.at(1), t.reversed ? -facing : facing, 1e-6);
    }
}

// A glow over an opaque surface is its emission, with a strength for a
// colour over 1; the file's vertex colours go to COLOR_0 (1 - c for the
// inverse); Quake III stages the game does not light are unlit.
TEST_F(MaterialExportTest, GlowsVertexColoursAndUnlitStages)
{
    image(diffuse, 4, 4, flat(4, 4, {200, 200, 200, 255}));
    image("textures/test/glow.png", 4, 4, flat(4, 4, {255, 128, 0, 255}));
    struct {
        const char* name;
        const char* path;
        const char* script;
        std::vector<double> emissive;
        double strength;  // 0: no strength written
        std::vector<float> first_colour;  // COLOR_0 of the first vertex; empty: none
        bool unlit;
    } cases[] = {
        {"id_tech4_glow", "base/materials/test.mtr",
         "{\ndiffusemap textures/test/grey.png\n{\nblend add\nmap textures/test/glow.png\nrgb 0.5\n}\n}",
         {0.5, 0.5, 0.5}, 0, {}, false},
        {"id_tech4_bright_glow", "base/materials/test.mtr",
         "{\ndiffusemap textures/test/grey.png\n{\nblend add\nmap textures/test/glow.png\nrgb 2\n}\n}",
         {1, 1, 1}, 2, {}, false},
        {"quake3_glow", "baseq3/scripts/test.shader",
         "{\n{\nmap textures/test/grey.png\nrgbGen lightingDiffuse\n}\n{\nmap textures/test/glow.png\n"
         "blendFunc add\n}\n}",
         {1, 1, 1}, 0, {}, false},
        {"vertex_colours", "base/materials/test.mtr",
         "{\n{\nblend diffusemap\nmap textures/test/grey.png\nvertexColor\n}\n}", {0, 0, 0}, 0, {1, 0, 0}, false},
        {"inverse_vertex_colours", "base/materials/test.mtr",
         "{\n{\nblend diffusemap\nmap textures/test/grey.png\ninverseVertexColor\n}\n}", {0, 0, 0}, 0, {0, 1, 1},
         false},
        {"quake3_vertex", "baseq3/scripts/test.shader",
         "{\n{\nmap textures/test/grey.png\nrgbGen vertex\n}\n}", {0, 0, 0}, 0, {1, 0, 0}, true},
        {"quake3_identity", "baseq3/scripts/test.shader",
         "{\n{\nmap textures/test/grey.png\nrgbGen identity\n}\n}", {0, 0, 0}, 0, {}, true},
        {"quake3_over_a_lightmap", "baseq3/scripts/test.shader",
         "{\n{\nmap $lightmap\nrgbGen identity\n}\n{\nmap textures/test/grey.png\nblendFunc filter\n}\n"
         "{\nmap textures/test/glow.png\nblendFunc add\n}\n}",
         {1, 1, 1}, 0, {}, true},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        fs::remove_all(dir_ / "game" / "base" / "materials");
        fs::remove_all(dir_ / "game" / "baseq3");
        tinygltf::Model m = exported(t.path, std::string("textures/test/lit\n") + t.script + "\n",
                                     "textures/test/lit", "", colour_lists);
        const tinygltf::Material& material = m.materials.at(0);
        EXPECT_EQ(out_.find("dropped"), std::string::npos) << out_;
        EXPECT_EQ(material.emissiveFactor, t.emissive);
        if (t.emissive[0] > 0) {
            EXPECT_EQ(texel(m, material.emissiveTexture.index, 0, 0), (std::vector<int>{255, 128, 0, 255}));
        }
        const tinygltf::Value& strength = extension(material, "KHR_materials_emissive_strength");
        EXPECT_EQ(strength.IsObject() ? number(strength.Get("emissiveStrength")) : 0.0, t.strength);
        EXPECT_EQ(material.extensions.count("KHR_materials_unlit"), size_t(t.unlit));
        const tinygltf::Primitive& p = m.meshes.at(0).primitives.at(0);
        ASSERT_EQ(p.attributes.count("COLOR_0"), size_t(!t.first_colour.empty()));
        if (!t.first_colour.empty()) {
            std::vector<float> colours = floats(m, accessor(m, p, "COLOR_0"), 3);
            EXPECT_EQ(std::vector<float>(colours.begin(), colours.begin() + 3), t.first_colour);
        }
        for (const auto& [name, value] : material.extensions)
            EXPECT_NE(std::find(m.extensionsUsed.begin(), m.extensionsUsed.end(), name), m.extensionsUsed.end())
                << name;
    }
}

// A static transform that serves every map is baked into the texture
// coordinates: tcMod scale 3 1 spans three periods across. Maps of
// different transforms keep their own, as KHR_texture_transform.
TEST_F(MaterialExportTest, TransformsBakedOrKeptPerMap)
{
    image(diffuse, 4, 4, flat(4, 4, {200, 200, 200, 255}));
    image("textures/test/n.png", 4, 4, flat(4, 4, {128, 128, 255, 255}));
    tinygltf::Model m = exported("baseq3/scripts/test.shader",
                                 "textures/test/tiled\n{\n{\nmap textures/test/grey.png\ntcMod scale 3 1\n}\n}\n",
                                 "textures/test/tiled");
    const tinygltf::Primitive& p = m.meshes.at(0).primitives.at(0);
    std::vector<float> st = floats(m, accessor(m, p, "TEXCOORD_0"), 2);
    auto [lo, hi] = std::minmax({st[0], st[2], st[4], st[6]});
    EXPECT_FLOAT_EQ(hi - lo, 1.5f) << "the quad's half of the picture, three times";
    EXPECT_EQ(m.extensionsUsed, std::vector<std::string>{"KHR_materials_unlit"});

    fs::remove_all(dir_ / "game" / "baseq3");
    m = exported("base/materials/test.mtr",
                 "textures/test/tiled\n{\n{\nblend diffusemap\nmap textures/test/grey.png\nscale 3, 1\n}\n"
                 "bumpmap textures/test/n.png\n}\n",
                 "textures/test/tiled");
    const tinygltf::Material& material = m.materials.at(0);
    const tinygltf::Value& transform = material.pbrMetallicRoughness.baseColorTexture.extensions.at("KHR_texture_transform");
    EXPECT_EQ(number(transform.Get("scale").Get(0)), 3.0);
    EXPECT_EQ(number(transform.Get("scale").Get(1)), 1.0);
    EXPECT_EQ(material.normalTexture.extensions.count("KHR_texture_transform"), 0u);
    EXPECT_EQ(m.extensionsUsed, (std::vector<std::string>{"KHR_materials_specular", "KHR_texture_transform"}));
}

// What glTF cannot hold is left out with a line, and the file still
// validates; --plain writes one base colour texture a material, as before.
TEST_F(MaterialExportTest, WhatCannotBeSaidIsNamedAndPlainWritesNoMore)
{
    image(diffuse, 4, 4, flat(4, 4, {200, 200, 200, 255}));
    image("textures/test/n.png", 8, 8, flat(8, 8, {128, 128, 255, 255}));
    image("textures/test/colour.png", 4, 4, flat(4, 4, {200, 40, 90, 255}));
    fs::path mtr = dir_ / "game" / "base" / "materials" / "test.mtr";
    struct {
        const char* name;
        const char* script;
        const char* line;
        bool normal;
    } cases[] = {
        {"two_bump_stages", "{\ndiffusemap textures/test/grey.png\nbumpmap textures/test/n.png\n"
                            "bumpmap textures/test/n.png\n}",
         "dropped: a second bump stage of textures/test/odd (MTR:5)\n", true},
        {"additive_first_stage", "{\n{\nblend add\nmap textures/test/grey.png\n}\n}",
         "dropped: the additive blend (written as a blend over what is behind) of textures/test/odd (MTR:3)\n",
         false},
        {"program_of_a_missing_image", "{\ndiffusemap textures/test/grey.png\n"
                                       "bumpmap heightmap(textures/test/none.png, 4)\n}",
         "map not found: heightmap(textures/test/none.png, 4.000000) (bump map of textures/test/odd)\n", false},
        {"normal_map_of_another_size", "{\ndiffusemap textures/test/grey.png\nbumpmap textures/test/n.png\n}", "",
         true},
        {"heightmap_of_a_colour_image", "{\ndiffusemap textures/test/grey.png\n"
                                        "bumpmap heightmap(textures/test/colour.png, 4)\n}",
         "", true},
        {"specular_brighter_than_white", "{\ndiffusemap textures/test/grey.png\n{\nblend specularmap\n"
                                         "map textures/test/n.png\nrgb 3\n}\n}",
         "", false},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        tinygltf::Model m = exported("base/materials/test.mtr", std::string("textures/test/odd\n") + t.script + "\n",
                                     "textures/test/odd");
        std::string line = t.line;
        if (size_t at = line.find("MTR"); at != std::string::npos)
            line.replace(at, 3, mtr.string());
        EXPECT_EQ(out_, "model: 1 objects, 2 faces, 1 textures (0 not found)\n" + line + "wrote: quad.glb\n");
        EXPECT_EQ(m.materials.at(0).normalTexture.index >= 0, t.normal);
    }
    tinygltf::Model plain = exported("base/materials/test.mtr",
                                     "textures/test/odd\n{\ndiffusemap textures/test/grey.png\n"
                                     "bumpmap textures/test/n.png\n}\n",
                                     "textures/test/odd", "--plain ");
    EXPECT_TRUE(plain.extensionsUsed.empty());
    EXPECT_EQ(plain.images.size(), 1u);
    EXPECT_LT(plain.materials.at(0).normalTexture.index, 0);
    EXPECT_GE(plain.materials.at(0).pbrMetallicRoughness.baseColorTexture.index, 0);
}

}  // namespace
