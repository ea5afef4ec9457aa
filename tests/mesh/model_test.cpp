// The model view's reader on inline texts, hostile numbers and the corpus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "mesh/model.h"
#include "mesh/utf16.h"
#include "tests/support/corpus.h"
#include "tests/support/files.h"

static void parse_model_text(const std::string& text)
{
    FILE* f = temp_stream(text);
    parse_model(f);
    fclose(f);
}

// One object whose mesh holds the lines, with four vertices.
static const model_object& parse_mesh(const std::string& lines)
{
    parse_model_text("*GEOMOBJECT {\n *NODE_NAME \"a{b\"\n *MESH {\n  *MESH_NUMVERTEX 2147483647\n"
                     "  *MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n"
                     "*MESH_VERTEX 2 0 1 0\n*MESH_VERTEX 3 0 0 1\n}\n" +
                     lines + "\n }\n}\n");
    EXPECT_EQ(model_objects.size(), 1u);
    return model_objects.at(0);
}

TEST(ModelReader, FaceLinesOfEveryExporter)
{
    struct {
        const char* line;
        int a, b, c, mtlid;  // a = -1: no face stored
    } cases[] = {
        {"*MESH_FACE 0: A: 0 B: 2 C: 3 AB: 1 BC: 1 CA: 0 *MESH_SMOOTHING 2 *MESH_MTLID 1", 0, 2, 3, 1},
        {"*MESH_FACE 0 A: 1 B: 2 C: 3 *MESH_SMOOTHING 1 *MESH_MTLID 4", 1, 2, 3, 4},
        {"*MESH_FACE    0:    A:    3 B:    1 C:    0 *MESH_SMOOTHING *MESH_MTLID 5", 3, 1, 0, 5},
        {"*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 *MESH_SMOOTHING 1,2 *MESH_MTLID 6", 0, 1, 2, 6},
        {"\t*MESH_FACE\t0:\tA:\t2\tB:\t3\tC:\t1\t*MESH_MTLID\t7\t}", 2, 3, 1, 7},
        {"*MESH_FACE 0: A 1 B 0 C 3", 1, 0, 3, 0},
        {"*MESH_FACE 0: A: 1 B: 2 C: 3\n*MESH_MTLID 9", 1, 2, 3, 0},
        {"*MESH_FACE 0: A: 1 B: 2 *MESH_MTLID 9", -1, 0, 0, 0},
        {"*MESH_FACE -1: A: 1 B: 2 C: 3", -1, 0, 0, 0},
    };
    for (const auto& t : cases) {
        const model_object& object = parse_mesh(t.line);
        SCOPED_TRACE(t.line);
        ASSERT_EQ(object.faces.size(), t.a < 0 ? 0u : 1u);
        if (t.a < 0)
            continue;
        const model_face& face = object.faces[0];
        EXPECT_EQ(std::vector<int>(face.vert, face.vert + 3), (std::vector<int>{t.a, t.b, t.c}));
        EXPECT_EQ(face.mtlid, t.mtlid);
    }
}

TEST(ModelReader, NumberedLinesAppendOrReplaceAndHostileNumbersStayHarmless)
{
    const model_object& object = parse_mesh(
        "*MESH_NUMFACES 2147483647\n*MESH_VERTEX 1 5 6 7\n*MESH_VERTEX 6 9 9 9\n"
        "*MESH_VERTEX -1 9 9 9\n*MESH_VERTEX 4 1\n*MESH_VERTEX 2147483647 9 9 9\n"
        "*MESH_TVERT 0 0.5 0.25\n*MESH_TFACE 0 1 1 1\n*MESH_FACE 0: A: 4 B: 2147483647 C: 0\n"
        "*MESH_FACE 1: A: 0 B: 1 C: 4\n*MESH_FACE 3: A: 0 B: 1 C: 2\n"
        "*MESH_TFACE 1 2147483647 -2147483648 0\n*MESH_TFACE 2 0 0 0\n");
    ASSERT_EQ(object.positions.size(), 5u);
    EXPECT_EQ(object.positions[1].x + object.positions[4].x + object.positions[4].y, 6);
    ASSERT_EQ(object.tverts.size(), 1u);
    ASSERT_EQ(object.faces.size(), 2u);
    EXPECT_FALSE(model_face_drawable(object, object.faces[0]));
    EXPECT_TRUE(model_face_drawable(object, object.faces[1]));
    EXPECT_EQ(object.faces[0].tvert[0], -1);  // the tface came before its face
    EXPECT_EQ(object.faces[1].tvert[0], INT_MAX);
    EXPECT_EQ(object.faces[1].tvert[1], INT_MIN);
    EXPECT_EQ(object.material_ref, 0);
}

TEST(ModelReader, VertexNormalsFillTheCornersOfTheirFaceNormal)
{
    const model_object& object =
        parse_mesh("*MESH_FACE 0: A: 0 B: 2 C: 3\n*MESH_FACE 1: A: 1 B: 2 C: 3\n"
                   "*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n"
                   "*MESH_VERTEXNORMAL 3 3 0 0\n*MESH_VERTEXNORMAL 0 1 0 0\n"
                   "*MESH_VERTEXNORMAL 7 7 0 0\n*MESH_VERTEXNORMAL 2 9 0 0\n"
                   "*MESH_FACENORMAL 1 0 0 1\n*MESH_VERTEXNORMAL 1 1 0 0\n"
                   "*MESH_FACENORMAL 5 0 0 1\n*MESH_VERTEXNORMAL 2 1 0 0\n}");
    const model_face& face = object.faces.at(0);
    EXPECT_EQ(face.normals, 1);
    EXPECT_EQ(face.normal[0].x, 1);
    EXPECT_EQ(face.normal[1].x, 7);  // no corner has vertex 7: the first unfilled one
    EXPECT_EQ(face.normal[2].x, 3);
    EXPECT_EQ(object.faces.at(1).normals, 0);
}

TEST(ModelReader, VertexColoursOnlyWhereAFaceNamesColoursGiven)
{
    const model_object& object = parse_mesh(
        "*MESH_FACE 0: A: 0 B: 1 C: 2\n*MESH_FACE 1: A: 1 B: 2 C: 3\n*MESH_FACE 2: A: 0 B: 2 C: 3\n"
        "*MESH_FACE 3: A: 0 B: 1 C: 3\n*MESH_NUMCVERTEX 2147483647\n*MESH_CVERTLIST {\n"
        "*MESH_VERTCOL 0 1 0 0.5\n*MESH_VERTCOL 1 2 -1 nan\n*MESH_VERTCOL 5 1 1 1\n}\n"
        "*MESH_CFACELIST {\n*MESH_CFACE 0 0 1 0\n*MESH_CFACE 1 0 2 1\n*MESH_CFACE 3 1 1 -1\n"
        "*MESH_CFACE 4 0 0 0\n*MESH_CFACE -1 0 0 0\n*MESH_CFACE 2 0 0\n}");
    ASSERT_EQ(object.cverts.size(), 2u);
    ASSERT_EQ(object.color_faces.size(), 4u);  // face 4 is not there
    // Face 0 only: colour vertex 2 is not there, a line lacks a number, -1.
    for (size_t f = 0; f < 4; f++)
        EXPECT_EQ(vertex_colors_given(object, object.faces[f]), f == 0) << f;
    // Channels within 0..1, not a number as 0; white where no colour is given.
    const struct {
        size_t face;
        int corner;
        float r, g, b;
    } corners[] = {{0, 0, 1, 0, 0.5f}, {0, 1, 1, 0, 0}, {0, 3, 1, 1, 1}, {1, 0, 1, 1, 1}};
    for (const auto& t : corners) {
        model_vec3 c = vertex_color(object, object.faces[t.face], t.corner);
        EXPECT_EQ(std::vector<float>({c.x, c.y, c.z}), std::vector<float>({t.r, t.g, t.b}));
    }
    model_face copy = object.faces[0];
    EXPECT_FALSE(vertex_colors_given(object, copy));
}

TEST(ModelReader, FaceMaterialTakesTheSubmaterialByMtlidModulo)
{
    parse_model_text(
        "*MATERIAL_LIST { *MATERIAL_COUNT 9\n*MATERIAL 0 { *NUMSUBMTLS 3\n"
        "*SUBMATERIAL 0 { *MATERIAL_DIFFUSE 0 0 0 } *SUBMATERIAL 2 { *MATERIAL_DIFFUSE 2 0 0 } }\n"
        "*MATERIAL 1 { *MATERIAL_DIFFUSE 1 0 0 *MAP_DIFFUSE { *MATERIAL_DIFFUSE 5 5 5 } }\n"
        "*MATERIAL 2147483647 { } *MATERIAL 1003 { } *MATERIAL 1002 { *MATERIAL_DIFFUSE 3 0 0 } }");
    ASSERT_EQ(model_materials.size(), 1003u);
    EXPECT_EQ(model_materials[1002].diffuse[0] + model_materials[1].diffuse[0], 4);
    EXPECT_EQ(model_materials[5].has_diffuse + model_materials[5].u_tiling, 1);
    struct {
        int ref, mtlid;
        const model_material* want;
    } cases[] = {
        {0, 0, &model_materials[0].submaterials[0]},  {0, 5, &model_materials[0].submaterials[2]},
        {0, -1, &model_materials[0].submaterials[2]}, {0, INT_MIN, &model_materials[0].submaterials[1]},
        {0, INT_MAX, &model_materials[0].submaterials[1]}, {1, 7, &model_materials[1]},
        {1003, 0, nullptr}, {-1, 0, nullptr},
    };
    for (const auto& t : cases) {
        model_object object = {{}, {}, {}, t.ref, {}, {}, {}};
        model_face face = {{}, {}, t.mtlid, 0, {}};
        EXPECT_EQ(face_material(object, face), t.want) << t.ref << " " << t.mtlid;
    }
}

TEST(ModelReader, BitmapComesFromTheDiffuseMapElseTheFirstOwnMap)
{
    std::string long_name(100000, 'n');
    struct {
        std::string maps, bitmap;
        float u_offset;
    } cases[] = {
        {"*MAP_BUMP { *BITMAP \"b.tga\" } *MAP_DIFFUSE { *BITMAP d.tga *UVW_U_OFFSET 0.25 }", "d.tga", 0.25f},
        {"*MAP_DIFFUSE { *BITMAP \"None\" } *MAP_BUMP { *BITMAP \"b.tga\" *UVW_U_OFFSET 0.5 }", "b.tga", 0.5f},
        {"*MAP_BUMP { *BITMAP \"b1\" } *MAP_SPECULAR { *BITMAP \"b2\" *UVW_U_OFFSET 2 }", "b1", 0},
        {"*MAP_BUMP { *BITMAP \"outer\" *MAP_GENERIC { *BITMAP \"inner\" } }", "outer", 0},
        {"*MAP_DIFFUSE { *BITMAP \"\" *UVW_U_OFFSET 3 } *MAP_BUMP { *BITMAP None }", "", 0},
        {"*SUBMATERIAL 0 { *MAP_DIFFUSE { *BITMAP \"s.tga\" } }", "", 0},
        {"*MAP_DIFFUSE { *BITMAP \"C:\\maps\\my {x} stone.tga\" }", "C:\\maps\\my {x} stone.tga", 0},
        {"*MAP_DIFFUSE { *BITMAP \"" + long_name + "\" }", long_name, 0},
        {"*MAP_DIFFUSE { *BITMAP \"" + std::string((1 << 20) + 1, 'n') + "\" }", "", 0},
    };
    for (const auto& t : cases) {
        parse_model_text("*MATERIAL_LIST { *MATERIAL 0 { " + t.maps + " } *MATERIAL 1 { } }");
        SCOPED_TRACE(t.maps.substr(0, 80));
        ASSERT_EQ(model_materials.size(), 2u);
        EXPECT_EQ(model_materials[0].bitmap, t.bitmap);
        EXPECT_EQ(model_materials[0].u_offset, t.u_offset);
    }
}

TEST(ModelReader, ObjectAndMaterialNames)
{
    struct {
        const char* text;
        const char* object, *material, *submaterial;
    } cases[] = {
        {"*GEOMOBJECT { *NODE_NAME \"box {1}\" *NODE_TM { *NODE_NAME \"tm\" } }\n"
         "*MATERIAL_LIST { *MATERIAL 0 { *MATERIAL_NAME \"stone\" *SUBMATERIAL 0 {"
         " *MATERIAL_NAME \"moss\" } } }", "box {1}", "stone", "moss"},
        {"*GEOMOBJECT { *NODE_NAME bare *MESH { } }\n*MATERIAL_LIST { *MATERIAL 0 {"
         " *MATERIAL_NAME\n *SUBMATERIAL 0 { } } }", "bare", "", ""},
        {"*GEOMOBJECT { *NODE_NAME \"unclosed\n}\n*MATERIAL_LIST { *MATERIAL 0 {"
         " *MAP_DIFFUSE { *MATERIAL_NAME \"map\" } } }", "unclosed", "", nullptr},
    };
    for (const auto& t : cases) {
        parse_model_text(t.text);
        SCOPED_TRACE(t.text);
        ASSERT_EQ(model_objects.size(), 1u);
        EXPECT_EQ(model_objects[0].name, t.object);
        ASSERT_EQ(model_materials.size(), 1u);
        EXPECT_EQ(model_materials[0].name, t.material);
        if (t.submaterial) {
            ASSERT_EQ(model_materials[0].submaterials.size(), 1u);
            EXPECT_EQ(model_materials[0].submaterials[0].name, t.submaterial);
        }
    }
}

TEST(ModelReader, BlocksCountOnlyWhereTheyBelong)
{
    // A word longer than 255 bytes is read in pieces of 255, each a token.
    std::string piece_is_keyword = std::string(255, 'x') + "*GEOMOBJECT { *MATERIAL_REF 5 }";
    std::string piece_cut_keyword = std::string(254, 'x') + "*GEOMOBJECT { *MATERIAL_REF 5 }";
    struct {
        const char* text;
        size_t objects, positions;  // positions of the last object
        int material_ref;
        const char* bitmap = nullptr;  // of material 0, where checked
    } cases[] = {
        {"*GEOMOBJECT { *MESH { *MESH_VERTEX 0 1 1 1 } *MESH_ANIMATION { *MESH { *MESH_VERTEX 0 2 2 2"
         " *MESH_VERTEX 1 2 2 2 } } *MESH { *MESH_VERTEX 1 3 3 3 } *MATERIAL_REF 4 }", 1, 1, 4},
        {"*GEOMOBJECT { *NODE_NAME \"}}\" *MATERIAL_REF 2 } } } *HELPEROBJECT { *NODE_NAME \"{\" }\n"
         "*CAMERAOBJECT { } *GEOMOBJECT { *MESH { *MESH_VERTEX 0 1 1 1\n*MESH_VERTEX 1 1 1 1", 2, 2, 0},
        {"*GROUP \"g\" { *GEOMOBJECT { } *GEOMOBJECT { *MATERIAL_REF 1 } }", 2, 0, 1},
        {"*SCENE { *GEOMOBJECT { } } *MESH { *MESH_VERTEX 0 1 1 1 }", 1, 0, 0},
        // Blocks left open end where the next top-level block begins.
        {"*MATERIAL_LIST { *MATERIAL 0 { *MAP_DIFFUSE { *BITMAP \"a\"\n*GEOMOBJECT { *MESH {"
         " *MESH_VERTEX 0 1 1 1 } *MATERIAL_REF 0 }", 1, 1, 0, "a"},
        {"*GEOMOBJECT { *MESH { *MESH_VERTEX 0 1 1 1\n*MESH_ANIMATION { *MESH {\n*GEOMOBJECT { *MESH {"
         " *MESH_VERTEX 0 1 1 1 *MESH_VERTEX 1 1 1 1 } *MATERIAL_REF 3 } }", 2, 2, 3},
        {"*GROUP \"g\" { *GEOMOBJECT { *MESH { *SHAPEOBJECT { } *GEOMOBJECT { } }", 2, 0, 0},
        // A word between a keyword and its brace: the brace opens nothing known.
        {"*GEOMOBJECT x { *MATERIAL_REF 2 } *GEOMOBJECT { *MATERIAL_REF 3 }", 1, 0, 3},
        {"*GEOMOBJECT \"x\" { *MATERIAL_REF 2 }", 1, 0, 2},
        {piece_is_keyword.c_str(), 1, 0, 5},
        {piece_cut_keyword.c_str(), 0, 0, 0},
    };
    for (const auto& t : cases) {
        parse_model_text(t.text);
        SCOPED_TRACE(t.text);
        ASSERT_EQ(model_objects.size(), t.objects);
        if (t.objects > 0) {
            EXPECT_EQ(model_objects.back().positions.size(), t.positions);
            EXPECT_EQ(model_objects.back().material_ref, t.material_ref);
        }
        if (t.bitmap) {
            EXPECT_EQ(model_materials.at(0).bitmap, t.bitmap);
        }
    }
    reset_model_store();
    EXPECT_EQ(model_objects.capacity() + model_materials.capacity(), 0u);
}

TEST(ModelReader, ReadsAPipeFromItsCurrentPositionToItsEnd)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string text =
        "*GEOMOBJECT { *MESH { *MESH_VERTEX 0 1 2 3 } }\n*GEOMOBJECT { *MATERIAL_REF 3 }\n"
        "*MATERIAL_LIST { *MATERIAL 0 { *MAP_DIFFUSE { *BITMAP \"p.tga\" *UVW_V_TILING 2";
    ASSERT_EQ(write(fds[1], text.data(), text.size()), ssize_t(text.size()));
    close(fds[1]);
    FILE* f = fdopen(fds[0], "r");
    char line[64];
    ASSERT_NE(fgets(line, sizeof line, f), nullptr);
    parse_model(f);
    fclose(f);
    ASSERT_EQ(model_objects.size(), 1u);
    EXPECT_EQ(model_objects[0].material_ref, 3);
    ASSERT_EQ(model_materials.size(), 1u);
    EXPECT_EQ(model_materials[0].bitmap, "p.tga");
    EXPECT_EQ(model_materials[0].v_tiling, 2);
}

// The text with a byte-order mark, in UTF-16 of either order.
static std::string utf16_text(const std::u16string& text, bool big_endian)
{
    std::string bytes;
    for (char16_t unit : u"\uFEFF" + text) {
        char high = char(unit >> 8), low = char(unit & 0xFF);
        bytes += big_endian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// Unicode text as 3ds Max saves it, read as UTF-8: names beyond ASCII,
// surrogate pairs joined, a lone surrogate replaced, an odd last byte
// dropped; any other text left to read as it was.
TEST(ModelReader, Utf16TextReadAsUtf8)
{
    const std::u16string name = u"*NODE_NAME \"W\u00fcrfel \U0001F600\"\r\n";
    const char* utf8_name = "*NODE_NAME \"W\u00fcrfel \U0001F600\"\r\n";
    struct {
        std::string bytes;
        const char* read;  // null: not UTF-16, read as it is
        size_t block = utf16_block_size;
    } cases[] = {
        {utf16_text(name, false), utf8_name},
        {utf16_text(name, true), utf8_name},
        {utf16_text(u"a\xDC00" u"b\xD800", false), "a\uFFFDb\uFFFD"},
        {utf16_text(u"\xD800x", true) + "y", "\uFFFDx"},
        // Two units a block: surrogates at the ends of blocks.
        {utf16_text(u"a\xD800" u"bc", true), "a\uFFFDbc", 4},
        {utf16_text(u"a\xD800\xD800\xDC00", false), "a\uFFFD\U00010000", 4},
        {utf16_text(u"a\xD83D\xDE00", true), "a\U0001F600", 4},
        {utf16_text(u"a\xD800", false) + "y", "a\uFFFD", 4},
        {"*GEOMOBJECT", nullptr},
        {"\xFF*A", nullptr},
        {"\xFE", nullptr},
        {"", nullptr},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.bytes);
        FILE* in = temp_stream(t.bytes);
        FILE* utf8 = utf16_as_utf8(in, t.block);
        ASSERT_EQ(utf8 != nullptr, t.read != nullptr);
        std::string read;
        for (int c; (c = getc(utf8 ? utf8 : in)) != EOF;)
            read += char(c);
        EXPECT_EQ(read, t.read ? t.read : t.bytes);
        if (utf8)
            fclose(utf8);
        fclose(in);
    }
}

// A surrogate from the last unit of the first read block on, in a name
// between two objects: nothing after it is lost.
TEST(ModelReader, Utf16SurrogatesAtFirstBlockEnd)
{
    struct {
        bool big_endian;
        std::u16string units;
        const char* read;
    } cases[] = {
        {false, u"\xD800x", "\uFFFDx"},
        {true, u"\xD800x", "\uFFFDx"},
        {false, u"\xD800\xD800\xDC00", "\uFFFD\U00010000"},
        {true, u"\xDC00x", "\uFFFDx"},
        {false, u"\xD83D\xDE00", "\U0001F600"},
    };
    const std::u16string head =
        u"*GEOMOBJECT {\n *NODE_NAME \"a\"\n}\n*GEOMOBJECT {\n *NODE_NAME \"";
    const std::u16string pad(utf16_block_size / 2 - 1 - head.size(), u'p');
    for (const auto& t : cases) {
        SCOPED_TRACE(t.read);
        parse_model_text(utf16_text(
            head + pad + t.units + u"\"\n}\n*GEOMOBJECT {\n *NODE_NAME \"c\"\n}\n", t.big_endian));
        ASSERT_EQ(model_objects.size(), 3u);
        EXPECT_EQ(model_objects[1].name, std::string(pad.size(), 'p') + t.read);
        EXPECT_EQ(model_objects[2].name, "c");
    }
}

TEST(ModelReader, CorpusModels)
{
    SKIP_WITHOUT_CORPUS();
    struct {
        const char* name;
        size_t objects, materials, faces, tverts;  // faces and tverts of every object
        int last_tvert;                            // of the first object's first face
    } cases[] = {
        {"ThreeCubesGreen.ASE", 3, 3, 12, 0, -1},    {"anim.ASE", 2, 0, 12, 12, 10},
        {"CameraRollAnim.ase", 1, 0, 12, 12, 10},    {"InvalidUVIndex.ase", 1, 0, 1, 3, 9},
        {"ThreeCubesGreen_UTF16LE.ASE", 3, 3, 12, 0, -1}, {"UVTransform_Normal.ASE", 1, 1, 32, 35, 16},
    };
    for (const auto& t : cases) {
        FILE* f = fopen(corpus_path(std::string("ase/") + t.name).c_str(), "rb");
        ASSERT_NE(f, nullptr) << t.name;
        parse_model(f);
        fclose(f);
        SCOPED_TRACE(t.name);
        ASSERT_EQ(model_objects.size(), t.objects);
        EXPECT_EQ(model_materials.size(), t.materials);
        for (const model_object& object : model_objects) {
            EXPECT_EQ(object.faces.size(), t.faces);
            EXPECT_EQ(object.tverts.size(), t.tverts);
            EXPECT_EQ(object.material_ref, t.materials ? &object - &model_objects[0] : 0);
        }
        EXPECT_EQ(t.objects ? model_objects[0].faces[0].tvert[2] : 0, t.last_tvert);
    }
    EXPECT_EQ(model_materials[0].bitmap, "..\\..\\3DS\\UVTransformTest\\UVTransformTestImg.png");
}
