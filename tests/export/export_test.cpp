// aseview-export run as a program: its GLB files read back through tinygltf
// and checked by the Khronos glTF-Validator, its console lines and statuses;
// and the glTF step on a changed scene.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>

#include "export/gltf.h"
#include "image/decode.h"
#include "tests/support/dds_write.h"
#include "tests/support/files.h"
#include "tests/support/image_write.h"
#include "tests/support/targa.h"
#include "tests/export/gltf_files.h"

namespace fs = std::filesystem;

namespace {

std::string textured(const std::string& bitmap, const std::string& uvw = "")
{
    return "*MATERIAL_DIFFUSE 0.2 0.4 0.6\n*MAP_DIFFUSE {\n*BITMAP \"" + bitmap + "\"\n" + uvw + "}";
}

// Four colours as the picture is seen: red and green on the bottom row,
// blue and white on top.
const Bytes four_colours_top_down = {0, 0, 255, 255, 255, 255, 255, 255, 255, 0, 0, 255, 0, 255, 0, 255};

void write_four_colour_targa(const std::string& path)
{
    TgaHeader header;
    header.width = header.height = 2;
    header.bpp = 32;
    header.descriptor = 8;
    // Bottom row first, BGRA.
    write_file(path, tga_bytes(header, {0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, 255, 255, 255, 255}));
}

class ExportTest : public ::testing::Test {
protected:
    ScratchFolder scratch_;
};

TEST_F(ExportTest, PositionsInGltfAxesAndTexelsWhereTheViewShowsThem)
{
    struct {
        const char* name;
        const char* uvw;
        float scale;
        // The colour at each corner, by its position's index above.
        uint32_t colours[4];
    } cases[] = {
        {"plain", "", 1.0f, {0xff0000, 0x00ff00, 0xffffff, 0x0000ff}},
        {"u_offset_half", "*UVW_U_OFFSET 0.5\n", 0.5f, {0x00ff00, 0xff0000, 0x0000ff, 0xffffff}},
        {"v_offset_half", "*UVW_V_OFFSET 0.5\n", 0.0254f, {0x0000ff, 0xffffff, 0x00ff00, 0xff0000}},
    };
    write_four_colour_targa("four.tga");
    const float file_corners[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 2, 3}, {0, 2, 3}};
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        write_file("quad.ase", quad_model(textured("four.tga", t.uvw)));
        run_result r = run_export("--scale " + std::to_string(t.scale) + " quad.ase");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "model: 1 objects, 2 faces, 1 textures (0 not found)\nwrote: quad.glb\n");
        expect_valid("quad.glb");
        tinygltf::Model m = load_glb("quad.glb");
        ASSERT_EQ(m.nodes.size(), 1u);
        EXPECT_EQ(m.nodes[0].name, "Quad");
        EXPECT_EQ(m.materials.at(0).name, "Stone");
        const tinygltf::Primitive& p = m.meshes.at(0).primitives.at(0);
        std::vector<float> xyz = floats(m, accessor(m, p, "POSITION"), 3);
        std::vector<float> uv = floats(m, accessor(m, p, "TEXCOORD_0"), 2);
        ASSERT_EQ(xyz.size(), 12u) << "four shared vertices";
        const std::string& png = view_bytes(m, m.images.at(0).bufferView);
        EXPECT_EQ(m.images[0].mimeType, "image/png");
        RgbaImage* image = decode_image(png);
        ASSERT_NE(image, nullptr);
        for (size_t v = 0; v < 4; v++) {
            int corner = -1;
            for (int c = 0; c < 4; c++) {
                const float* f = file_corners[c];
                float want[3] = {f[0] * t.scale, f[2] * t.scale, -f[1] * t.scale};
                if (std::equal(want, want + 3, &xyz[v * 3]))
                    corner = c;
            }
            ASSERT_GE(corner, 0) << "vertex " << v << " is no corner in glTF's axes";
            // glTF samples from the top-left, our decoded rows are bottom first.
            float u = uv[v * 2] - std::floor(uv[v * 2]), w = uv[v * 2 + 1] - std::floor(uv[v * 2 + 1]);
            int x = int(u * 2), row = 1 - int(w * 2);
            const unsigned char* px = image->pixels + (row * 2 + x) * 4;
            EXPECT_EQ(uint32_t(px[0] << 16 | px[1] << 8 | px[2]), t.colours[corner]) << "corner " << corner;
        }
        image_free(image);
    }
}

// Blender's own glTF importer, where Blender is installed (CI installs none:
// it costs some 180 packages): the quad where the file puts it, Z up, and
// each corner on the texel the view shows there, from the embedded image.
TEST_F(ExportTest, BlenderOpensItAsTheViewShowsIt)
{
    if (std::string(BLENDER).empty())
        GTEST_SKIP() << "no blender";
    write_four_colour_targa("four.tga");
    write_file("quad.ase", quad_model(textured("four.tga")));
    ASSERT_EQ(run_export("quad.ase").status, 0);
    int status = system((quoted(BLENDER) + " -b --factory-startup --python-exit-code 1 --python " +
                         quoted(BLENDER_SCRIPT) + " -- quad.glb >blender.txt 2>&1").c_str());
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "Blender's glTF importer needs numpy (python3-numpy)";
    std::string printed = read_file("blender.txt"), corners;
    ASSERT_EQ(WEXITSTATUS(status), 0) << printed;
    for (size_t at = printed.find("corner "); at != std::string::npos; at = printed.find("corner ", at + 1))
        corners += printed.substr(at, printed.find('\n', at) + 1 - at);
    EXPECT_EQ(corners, "corner 0 0 0 texel 1 0 0 embedded 1\ncorner 1 0 0 texel 0 1 0 embedded 1\n"
                       "corner 1 2 3 texel 1 1 1 embedded 1\ncorner 0 0 0 texel 1 0 0 embedded 1\n"
                       "corner 1 2 3 texel 1 1 1 embedded 1\ncorner 0 2 3 texel 0 0 1 embedded 1\n");
}

TEST_F(ExportTest, ImagesEmbeddedOnceByteForByteOrAsPng)
{
    Bytes rgba = {255, 0, 0, 255, 0, 255, 0, 200, 0, 0, 255, 255, 255, 255, 255, 128};
    Bytes cut = rgba;
    cut[15] = 127;
    write_png_rgba("t.png", 2, 2, rgba);
    write_png_rgba("cut.png", 2, 2, cut);
    write_jpeg_rgb("t.jpg", 2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
    write_webp_rgba("t.webp", 2, 2, rgba);
    write_four_colour_targa("t.tga");
    write_file("t.dds", dds_file(dds_dxt1, {{4, 4, Bytes(64, 255)}}, 0));
    struct {
        const char* file;
        const char* mime;
        bool same_bytes, mask;
    } cases[] = {
        {"t.png", "image/png", true, false},  {"cut.png", "image/png", true, true},
        {"t.jpg", "image/jpeg", true, false}, {"t.webp", "image/png", false, false},
        {"t.tga", "image/png", false, false}, {"t.dds", "image/png", false, false},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.file);
        // Two objects whose materials name the same file, in other letter case.
        std::string upper = t.file;
        for (char& c : upper)
            c = char(toupper(c));
        std::string second = "*MATERIAL 1 {\n*MATERIAL_NAME \"Upper\"\n" + textured(upper) + "\n}\n";
        std::string model = quad_model(textured(t.file));
        model.insert(model.find("}\n*GEOMOBJECT"), second);
        std::string other = quad_model("", "Other");
        other = other.substr(other.find("*GEOMOBJECT"));
        other.replace(other.find("*MATERIAL_REF 0"), 15, "*MATERIAL_REF 1");
        write_file("m.ase", model + other);
        run_result r = run_export("m.ase out.glb");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "model: 2 objects, 4 faces, 2 textures (0 not found)\nwrote: out.glb\n");
        expect_valid("out.glb");
        tinygltf::Model m = load_glb("out.glb");
        ASSERT_EQ(m.materials.size(), 2u);
        ASSERT_EQ(m.images.size(), 1u);
        EXPECT_EQ(m.textures.size(), 1u);
        EXPECT_EQ(m.images[0].uri, "");
        EXPECT_EQ(m.images[0].mimeType, t.mime);
        std::string bytes = view_bytes(m, m.images[0].bufferView);
        EXPECT_EQ(bytes == read_file(t.file), t.same_bytes);
        RgbaImage* image = decode_image(bytes);
        EXPECT_NE(image, nullptr);
        image_free(image);
        for (const tinygltf::Material& material : m.materials) {
            EXPECT_EQ(material.pbrMetallicRoughness.baseColorTexture.index, 0);
            EXPECT_EQ(material.alphaMode, t.mask ? "MASK" : "OPAQUE");
            EXPECT_EQ(material.pbrMetallicRoughness.metallicFactor, 0.0);
        }
    }
}

// Names as the file writes them, in UTF-8: a Western code page's single
// bytes read as Latin-1, UTF-8 kept.
TEST_F(ExportTest, MissingTextureKeepsColourAndName)
{
    struct {
        const char *bitmap, *object, *material, *printed, *missing, *gltf_object, *gltf_material;
    } cases[] = {
        {"maps\\gone.tga", "Quad", "Stone", "maps/gone.tga", "maps/gone.tga", "Quad", "Stone"},
        {"h\xe4user.tga", "W\xfcrfel", "Stein gro\xdf", "h\xe4user.tga", "h\u00e4user.tga", "W\u00fcrfel",
         "Stein gro\u00df"},
        {"gone.tga", "K\u00fcbel \U0001F600", "\xed\xa0\x80", "gone.tga", "gone.tga", "K\u00fcbel \U0001F600",
         "\u00ed\u00a0\u0080"},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.printed);
        write_file("quad.ase", quad_model("*MATERIAL_NAME \"" + std::string(t.material) + "\"\n" + textured(t.bitmap),
                                          t.object));
        run_result r = run_export("quad.ase");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "model: 1 objects, 2 faces, 1 textures (1 not found)\ntexture not found: " +
                             std::string(t.printed) + "\nwrote: quad.glb\n");
        expect_valid("quad.glb");
        tinygltf::Model m = load_glb("quad.glb");
        ASSERT_EQ(m.materials.size(), 1u);
        EXPECT_TRUE(m.images.empty());
        const tinygltf::Material& material = m.materials[0];
        std::vector<double> colour = {0.2, 0.4, 0.6, 1.0};
        for (int c = 0; c < 4; c++)
            EXPECT_NEAR(material.pbrMetallicRoughness.baseColorFactor[size_t(c)], colour[size_t(c)], 1e-6);
        EXPECT_EQ(material.extras.Get("missing_texture").Get<std::string>(), t.missing);
        EXPECT_EQ(material.name, t.gltf_material);
        EXPECT_EQ(m.nodes.at(0).name, t.gltf_object);
        EXPECT_EQ(m.meshes[0].primitives[0].attributes.count("TEXCOORD_0"), 0u);
    }
}

// Faces of their own vertices: 21846 faces make 65538 vertices.
std::string strip_model(int faces, const char* odd_line = "")
{
    std::string text = "*GEOMOBJECT {\n*NODE_NAME \"Strip\"\n*MESH {\n*MESH_VERTEX_LIST {\n";
    for (int v = 0; v < faces * 3; v++)
        text += "*MESH_VERTEX " + std::to_string(v) + " " + std::to_string(v % 3) + " " +
                std::to_string(v / 3) + " 0\n";
    text += std::string(odd_line) + "}\n*MESH_FACE_LIST {\n";
    for (int f = 0; f < faces; f++)
        text += "*MESH_FACE " + std::to_string(f) + ": A: " + std::to_string(f * 3) + " B: " +
                std::to_string(f * 3 + 1) + " C: " + std::to_string(f * 3 + 2) + "\n";
    return text + "}\n}\n}\n";
}

TEST_F(ExportTest, IndicesNarrowWhileTheyFitAndUnfitFacesLeftOut)
{
    struct {
        const char* name;
        int faces;
        const char* odd_line;
        int component;
        size_t written;
    } cases[] = {
        {"65535_vertices", 21845, "", TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, 21845},
        {"65538_vertices", 21846, "", TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, 21846},
        {"infinite_corner", 3, "*MESH_VERTEX 4 1e39 1 0\n", TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, 2},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        write_file("s.ase", strip_model(t.faces, t.odd_line));
        ASSERT_EQ(run_export("s.ase").status, 0);
        expect_valid("s.glb");
        tinygltf::Model m = load_glb("s.glb");
        const tinygltf::Primitive& p = m.meshes.at(0).primitives.at(0);
        const tinygltf::Accessor& indices = m.accessors.at(size_t(p.indices));
        EXPECT_EQ(indices.componentType, t.component);
        EXPECT_EQ(indices.count, t.written * 3);
        // The file's y, the last row's, is glTF's -z.
        EXPECT_EQ(accessor(m, p, "POSITION").minValues.at(2), double(1 - t.faces));
    }
}

TEST_F(ExportTest, NeverDrawnSurfacesLeftOutUnlessAllAreAsked)
{
    write_file("quad.ase", quad_model("*MATERIAL_DIFFUSE 1 0 0") +
                               quad_model("", "Drawn").substr(quad_model("").find("*GEOMOBJECT")));
    FILE* f = fopen("quad.ase", "r");
    parse_model(f);
    fclose(f);
    model_scene scene;
    build_model_scene("quad.ase", &scene);
    ASSERT_EQ(scene.looks.size(), 1u);
    scene.looks[0].hidden = true;
    for (bool all : {false, true}) {
        tinygltf::Model m;
        std::string why;
        EXPECT_EQ(build_gltf(scene, {1.0f, all}, &m, &why), all);
        if (all) {
            EXPECT_EQ(m.nodes.size(), 2u);
            EXPECT_TRUE(m.materials.at(0).extras.Get("never_drawn").Get<bool>());
        } else {
            EXPECT_EQ(why, "every face is one the game never draws (--all-surfaces keeps them)");
        }
    }
    reset_model_store();
}

// One quad for each bitmap, in a material of its own that names it.
std::string quads_model(const std::vector<std::string>& bitmaps)
{
    std::string quad = quad_model(""), materials, objects;
    quad = quad.substr(quad.find("*GEOMOBJECT"));
    for (size_t i = 0; i < bitmaps.size(); i++) {
        materials += "*MATERIAL " + std::to_string(i) + " {\n" + textured(bitmaps[i]) + "\n}\n";
        objects += quad;
        objects.replace(objects.rfind("*MATERIAL_REF 0"), 15, "*MATERIAL_REF " + std::to_string(i));
    }
    return "*MATERIAL_LIST {\n" + materials + "}\n" + objects;
}

// Twenty materials naming one DDS with a cut-out texel, in as many letter
// cases: one image made for its file, kept with its cut, embedded once.
TEST_F(ExportTest, OneImageForAFileManyMaterialsName)
{
    Bytes rgba(64, 255);
    rgba[3] = 0;
    write_file("cutout.dds", dds_file(dds_dxt5, {{4, 4, rgba}}, 0));
    std::vector<std::string> names;
    for (int i = 0; i < 20; i++) {
        std::string name = "cutout.dds";
        for (size_t c = 0; c < 5; c++)
            if (i >> c & 1)
                name[c] = char(toupper(name[c]));
        names.push_back(name);
    }
    write_file("m.ase", quads_model(names));
    FILE* f = fopen("m.ase", "r");
    parse_model(f);
    fclose(f);
    model_scene scene;
    gltf_images images;
    build_model_scene("m.ase", &scene, [&](scene_texture& t) { images.take(t); });
    ASSERT_EQ(scene.textures.size(), 20u);
    EXPECT_EQ(images.size(), 1u);
    const gltf_image& image = images.of(scene.textures[0]);
    EXPECT_TRUE(image.cut);
    EXPECT_EQ(image.mime_type, "image/png");
    for (const scene_texture& t : scene.textures) {
        EXPECT_TRUE(t.found);
        EXPECT_EQ(&images.of(t), &image);
        EXPECT_EQ(t.image, nullptr);
        EXPECT_TRUE(t.bytes.empty());
    }
    EXPECT_EQ(images.size(), 1u);
    tinygltf::Model m;
    std::string why;
    ASSERT_TRUE(build_gltf(scene, {1.0f, false}, &m, &why, std::move(images))) << why;
    EXPECT_EQ(m.images.size(), 1u);
    ASSERT_EQ(m.materials.size(), 20u);
    for (const tinygltf::Material& material : m.materials) {
        EXPECT_EQ(material.alphaMode, "MASK");
        EXPECT_EQ(material.pbrMetallicRoughness.baseColorTexture.index, 0);
    }
    reset_model_store();
}

// The exporter's peak resident size on the model, in KiB; 0 when it fails.
long export_peak_kib(const std::string& model)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("/dev/null", "w", stdout))
            _exit(126);
        // The address sanitizer would hold freed memory back: the program's own use counts.
        const char* asan = getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":quarantine_size_mb=0").c_str(), 1);
        execl(EXPORT_BIN, EXPORT_BIN, model.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    rusage usage = {};
    wait4(pid, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : 0;
}

// Four distinct 2048 x 2048 Targa textures cost about what one does: each is
// turned into its PNG, and its file and pixels let go of, before the next is
// read. Smooth pictures, so that the PNGs the file must hold are small.
TEST_F(ExportTest, LargeTexturesConvertedOneAtATime)
{
    TgaHeader header;
    header.width = header.height = 2048;
    header.bpp = 32;
    std::vector<std::string> names;
    for (int i = 0; i < 4; i++) {
        Bytes pixels(size_t(2048) * 2048 * 4);
        for (size_t p = 0; p < size_t(2048) * 2048; p++) {
            uint8_t* bgra = &pixels[p * 4];
            bgra[0] = uint8_t(i * 60 + p / 2048 / 8);
            bgra[1] = uint8_t(p % 2048 / 8);
            bgra[3] = 255;
        }
        names.push_back("big" + std::to_string(i) + ".tga");
        write_file(names.back(), tga_bytes(header, pixels));
    }
    write_file("one.ase", quads_model({names[0]}));
    write_file("four.ase", quads_model(names));
    long one = export_peak_kib("one.ase"), four = export_peak_kib("four.ase");
    ASSERT_GT(one, 0);
    ASSERT_GT(four, 0);
    EXPECT_LE(double(four) / double(one), 1.5) << one << " KiB for one, " << four << " KiB for four";
    EXPECT_EQ(load_glb("four.glb").images.size(), 4u);
}

// Two quads, the second's material naming what the game's tree decides:
// the editor's nodraw surface, declared nowhere, or a loose shader script's
// image drawn on both sides.
TEST_F(ExportTest, TheGamesTreeDecidesWhatIsDrawnAndOnWhichSides)
{
    fs::create_directories("textures/test");
    fs::create_directories("scripts");
    write_four_colour_targa("textures/test/four.tga");
    write_file("scripts/test.shader",
               "textures/test/both\n{\n\tcull none\n\t{\n\t\tmap textures/test/four.tga\n\t}\n}\n");
    struct {
        const char* name;
        const char* bitmap;
        const char* args;
        size_t nodes;
        const char* hidden_line;
        bool double_sided, never_drawn_kept;
    } cases[] = {
        {"nodraw_left_out", "textures/common/nodraw.tga", "", 1,
         "hidden: 2 faces (textures/common/nodraw.tga): never drawn by the game\n", false, false},
        {"nodraw_kept", "textures/common/nodraw.tga", "--all-surfaces ", 2,
         "hidden: 2 faces (textures/common/nodraw.tga): never drawn by the game\n", false, true},
        {"cull_none", "textures/test/both.tga", "", 2, "", true, false},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        std::string second = quad_model(textured(t.bitmap), "Second");
        second.replace(second.find("*MATERIAL_REF 0"), 15, "*MATERIAL_REF 1");
        second.replace(second.find("*MATERIAL 0"), 11, "*MATERIAL 1");
        std::string model = quad_model("*MATERIAL_DIFFUSE 1 0 0", "First");
        model.insert(model.find("}\n*GEOMOBJECT"), second.substr(second.find("*MATERIAL 1"),
                                                                  second.find("}\n*GEOMOBJECT") - second.find("*MATERIAL 1")));
        write_file("m.ase", model + second.substr(second.find("*GEOMOBJECT")));
        run_result r = run_export(std::string(t.args) + "m.ase");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "model: 2 objects, 4 faces, 1 textures (0 not found)\n" + std::string(t.hidden_line) +
                             "wrote: m.glb\n");
        expect_valid("m.glb");
        tinygltf::Model m = load_glb("m.glb");
        ASSERT_EQ(m.nodes.size(), t.nodes);
        EXPECT_EQ(m.nodes[0].name, "First");
        EXPECT_FALSE(m.materials.at(0).doubleSided);
        if (t.nodes < 2)
            continue;
        EXPECT_EQ(m.nodes[1].name, "Second");
        const tinygltf::Material& material = m.materials.at(1);
        EXPECT_EQ(material.doubleSided, t.double_sided);
        EXPECT_EQ(material.extras.Has("never_drawn"), t.never_drawn_kept);
        EXPECT_EQ(material.pbrMetallicRoughness.baseColorTexture.index >= 0, t.double_sided);
    }
}

TEST_F(ExportTest, RefusalsAndFailuresLeaveNothingBehind)
{
    write_file("quad.ase", quad_model(""));
    write_file("text.ase", "not a model\n");
    mkfifo("fifo.glb", 0644);
    fs::create_directory("folder.glb");
    ASSERT_EQ(link("quad.ase", "hard.ase"), 0);
    struct {
        const char* args;
        int status;
        const char* err;
        const char* untouched;  // a path that must be as it was
    } cases[] = {
        {"gone.ase", 1, "aseview-export: gone.ase: No such file or directory\n", "gone.glb"},
        {"text.ase", 1, "aseview-export: text.ase: no faces to draw\n", "text.glb"},
        {"quad.ase quad.ase", 1, "aseview-export: quad.ase: is the model itself\n", nullptr},
        {"quad.ase hard.ase", 1, "aseview-export: hard.ase: is the model itself\n", nullptr},
        {"quad.ase fifo.glb", 1, "aseview-export: fifo.glb: exists and is not a regular file\n", nullptr},
        {"quad.ase folder.glb", 1, "aseview-export: folder.glb: exists and is not a regular file\n", nullptr},
        {"quad.ase nofolder/q.glb", 1, "aseview-export: nofolder/q.glb: No such file or directory\n", nullptr},
        {"", 2, nullptr, nullptr},
        {"--scale 0 quad.ase", 2, nullptr, nullptr},
        {"-j x -o d quad.ase", 2, nullptr, nullptr},
        {"a.ase b.glb c.glb", 2, nullptr, nullptr},
    };
    std::string model = read_file("quad.ase");
    for (const auto& t : cases) {
        SCOPED_TRACE(t.args);
        run_result r = run_export(t.args);
        EXPECT_EQ(r.status, t.status);
        if (t.err)
            EXPECT_EQ(r.err, t.err);
        else
            EXPECT_EQ(r.err.rfind("usage: aseview-export", 0), 0u) << r.err;
        if (t.untouched) {
            EXPECT_FALSE(fs::exists(t.untouched));
        }
        EXPECT_EQ(read_file("quad.ase"), model);
        EXPECT_TRUE(fs::is_fifo("fifo.glb") && fs::is_empty("folder.glb"));
    }
    // Nothing half-written beside the targets.
    for (const auto& entry : fs::directory_iterator("."))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

// Root writes into a read-only folder, so the folder is a read-only or a
// full file system of its own, where one can be mounted.
TEST_F(ExportTest, ReadOnlyOrFullFolderIsAnError)
{
    write_file("s.ase", strip_model(2000));
    struct {
        const char* name;
        unsigned long flags;
        const char* options;
        const char* reason;
    } cases[] = {
        {"read_only", MS_RDONLY, "size=1m", "Read-only file system"},
        {"full", 0, "size=16k", "No space left on device"},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        fs::create_directory(t.name);
        if (mount("tmpfs", t.name, "tmpfs", t.flags, t.options) != 0)
            GTEST_SKIP() << "no tmpfs can be mounted here: " << strerror(errno);
        std::string out = std::string(t.name) + "/s.glb";
        run_result r = run_export("s.ase " + out);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "aseview-export: " + out + ": " + t.reason + "\n");
        EXPECT_TRUE(fs::is_empty(t.name));
        umount2(t.name, MNT_DETACH);
    }
}

TEST_F(ExportTest, FileSizeLimitIsAnErrorNotAKill)
{
    write_file("s.ase", strip_model(2000));
    int status = system(("ulimit -f 16; " + quoted(EXPORT_BIN) + " s.ase s.glb >out.txt 2>err.txt").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(read_file("err.txt"), "aseview-export: s.glb: File too large\n");
    for (const auto& entry : fs::directory_iterator("."))
        EXPECT_EQ(entry.path().extension() == ".glb" || entry.path().filename().string()[0] == '.', false)
            << entry.path();
}

TEST_F(ExportTest, BatchGoesOnPastAFailureAndCountsAtTheEnd)
{
    fs::create_directories("in/sub");
    write_four_colour_targa("in/four.tga");
    write_file("in/a.ase", quad_model(textured("four.tga")));
    write_file("in/sub/B.ASE", quad_model(textured("gone.tga")));
    write_file("in/sub/bad.ase", "no faces\n");
    write_file("in/sub/notes.txt", "not a model\n");
    write_file("lone.ase", quad_model(""));
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        fs::remove_all("out");
        run_result r = run_export(std::string("-j ") + jobs + " -o out in lone.ase gone.ase ./lone.ase");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.substr(r.out.rfind("exported")),
                  "exported 3 of 6 models (1 textures not found, 3 failed)\n");
        EXPECT_NE(r.err.find("aseview-export: ./lone.ase: out/lone.glb is already the export of lone.ase\n"),
                  std::string::npos);
        // Each model's lines whole and in order.
        EXPECT_NE(r.out.find("model: 1 objects, 2 faces, 1 textures (1 not found)\n"
                             "texture not found: gone.tga\nwrote: out/sub/B.glb\n"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.err.find("aseview-export: in/sub/bad.ase: no faces to draw\n"), std::string::npos);
        EXPECT_NE(r.err.find("aseview-export: gone.ase: No such file or directory\n"), std::string::npos) << r.err;
        for (const char* made : {"out/a.glb", "out/sub/B.glb", "out/lone.glb"}) {
            EXPECT_TRUE(fs::is_regular_file(made)) << made;
            expect_valid(made);
        }
        EXPECT_FALSE(fs::exists("out/sub/bad.glb"));
    }
}

// The worker of a batch killed while it reads a large model: that model
// fails, leaving no file, and a new worker exports the rest.
TEST_F(ExportTest, BatchGoesOnPastAWorkerThatDies)
{
    fs::create_directory("in");
    write_file("in/a_big.ase", strip_model(300000));
    write_file("in/b_small.ase", quad_model(""));
    pid_t batch = fork();
    if (batch == 0) {
        if (!freopen("out.txt", "w", stdout) || !freopen("err.txt", "w", stderr))
            _exit(126);
        execl(EXPORT_BIN, EXPORT_BIN, "-j", "1", "-o", "out", "in", nullptr);
        _exit(127);
    }
    bool killed = false;
    for (int wait = 0; wait < 10000 && !killed; wait++) {
        std::string children = read_file("/proc/" + std::to_string(batch) + "/task/" + std::to_string(batch) + "/children");
        if (pid_t worker = atoi(children.c_str()); worker > 0) {
            std::error_code ignored;
            for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(worker) + "/fd", ignored))
                if (fs::read_symlink(fd.path(), ignored).filename() == "a_big.ase")
                    killed = kill(worker, SIGKILL) == 0;
        }
        usleep(1000);
    }
    int status;
    ASSERT_EQ(waitpid(batch, &status, 0), batch);
    ASSERT_TRUE(killed) << "the worker was never seen reading the large model";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(read_file("err.txt"), "aseview-export: in/a_big.ase: the export ended abnormally (Killed)\n");
    std::string out = read_file("out.txt");
    EXPECT_EQ(out.substr(out.rfind("wrote")), "wrote: out/b_small.glb\nexported 1 of 2 models (0 textures not found, 1 failed)\n");
    // The large model's output was open when its worker died: nothing of it is left.
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator("out"))
        left.push_back(entry.path().string());
    EXPECT_EQ(left, std::vector<std::string>{"out/b_small.glb"});
    expect_valid("out/b_small.glb");
}

}  // namespace
