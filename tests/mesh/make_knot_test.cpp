#include <cmath>
#include <map>

#include "mesh/model.h"
#include "mesh_support.h"
#include "tests/tools/run_tool.h"

static double dot(const float* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Checks the loaded store: a closed, consistently wound tube with outward
// normals, every index in range, sized about +-60.
static void expect_closed_tube()
{
    ASSERT_GT(vertex_count, 0);
    EXPECT_EQ(v_pos, vertex_count - 1);
    EXPECT_EQ(cur_face, MAX_FACES - 1);
    EXPECT_EQ(vnorm_corner, 0);
    std::map<std::pair<int, int>, int> edges;
    double volume = 0, extent = 0;
    int bad_index = 0, bad_normal = 0;
    for (int f = 0; f < MAX_FACES; f++) {
        const face_data& face = face_list[f];
        for (int c = 0; c < 3; c++) {
            bad_index += face.vert[c] < 0 || face.vert[c] >= vertex_count || face.vnorm[c] != face.vert[c];
            edges[{face.vert[c], face.vert[(c + 1) % 3]}]++;
        }
        if (bad_index)
            break;
        const float* p[3] = {vertex_list[face.vert[0]].xyz, vertex_list[face.vert[1]].xyz,
                             vertex_list[face.vert[2]].xyz};
        double e1[3], e2[3], n[3];
        for (int k = 0; k < 3; k++) {
            e1[k] = p[1][k] - p[0][k];
            e2[k] = p[2][k] - p[0][k];
            extent = std::fmax(extent, std::fabs(p[0][k]));
        }
        for (int k = 0; k < 3; k++)
            n[k] = e1[(k + 1) % 3] * e2[(k + 2) % 3] - e1[(k + 2) % 3] * e2[(k + 1) % 3];
        volume += dot(p[0], n) / 6;
        double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        bad_normal += dot(face.norm, n) < 0.9 * length;
        for (int c = 0; c < 3; c++)
            bad_normal += dot(vertex_list[face.vnorm[c]].norm, n) <= 0;
    }
    ASSERT_EQ(bad_index, 0);
    EXPECT_EQ(bad_normal, 0);
    EXPECT_GT(volume, 0);  // outward winding encloses a positive volume
    EXPECT_GT(extent, 55);
    EXPECT_LT(extent, 65);
    // Closed and consistently wound: each directed edge once, and its reverse once.
    int open_edges = 0;
    for (const auto& [edge, uses] : edges)
        open_edges += uses != 1 || !edges.count({edge.second, edge.first});
    EXPECT_EQ(open_edges, 0);
}

TEST(MakeKnot, WritesClosedOutwardTubes)
{
    ScratchFolder scratch;
    std::string path = "knot.ase";
    const struct { const char* options; const char* faces; int low, high; } cases[] = {
        {"", "", 5000, 10000}, {"", "200", 150, 250}, {"", "30000", 27000, 33000}, {"", "1", 144, 144},
        {"--texture sky.tga ", "200", 150, 250}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faces);
        ASSERT_EQ(run_make_knot(c.options + path + " " + c.faces), 0);
        reset_ase_reader();
        load_model(path.c_str());
        EXPECT_GE(MAX_FACES, c.low);
        EXPECT_LE(MAX_FACES, c.high);
        expect_closed_tube();
        // Textured: every face with its texture corners, in the bitmap's material.
        FILE* file = fopen(path.c_str(), "r");
        ASSERT_TRUE(file);
        parse_model(file);
        fclose(file);
        ASSERT_EQ(model_objects.size(), 1u);
        const model_object& knot = model_objects[0];
        const model_material* material = knot.faces.empty() ? nullptr : face_material(knot, knot.faces[0]);
        EXPECT_EQ(material ? material->bitmap : "", *c.options ? "sky.tga" : "");
        int untextured = 0;
        for (const model_face& face : knot.faces)
            for (int k = 0; k < 3; k++)
                untextured += face.tvert[k] < 0 || size_t(face.tvert[k]) >= knot.tverts.size();
        EXPECT_EQ(untextured, *c.options ? 0 : 3 * int(knot.faces.size()));
        reset_model_store();
    }
}

// At least the faces asked for, rounded up to whole rings of 2*S faces (S the
// nearest whole number to sqrt(FACES/30), at least 3); the smallest tube has 144.
TEST(MakeKnot, FaceCountRule)
{
    ScratchFolder scratch;
    const struct { const char* faces; int made; } cases[] = {
        {"1", 144}, {"7", 144}, {"144", 144}, {"145", 150}, {"200", 204},
        {"367", 372}, {"368", 368}, {"7681", 7712}, {"", 7680}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faces);
        ASSERT_EQ(run_make_knot(std::string("knot.ase ") + c.faces), 0);
        std::string text = read_file("knot.ase");
        int face_lines = 0;
        for (size_t at = 0; (at = text.find("*MESH_FACE ", at)) != std::string::npos; at++)
            face_lines++;
        EXPECT_EQ(face_lines, c.made);
        reset_ase_reader();
        load_model("knot.ase");
        EXPECT_EQ(MAX_FACES, c.made);
    }
}

TEST(MakeKnot, RefusesBadArguments)
{
    ScratchFolder scratch;
    std::string usage = run_tool(MAKE_KNOT " --help").out;
    ASSERT_EQ(usage.rfind("usage: make_knot [--texture BITMAP] OUT.ase [FACES]\n", 0), 0u);
    const struct { const char* args; int status; } cases[] = {
        {"--help", 0}, {"-h", 0}, {"knot.ase 12 --help", 0}, {"--bogus", 2}, {"-x knot.ase", 2},
        {"knot.ase --faces=10", 2}, {"-", 2}, {"", 2}, {"knot.ase 0", 2}, {"knot.ase -5", 2},
        {"knot.ase 12x", 2}, {"knot.ase 100000001", 2}, {"knot.ase 1 2", 2},
        {"--texture knot.ase", 2}, {"--texture '' knot.ase", 2}, {"--texture 'a\"b' knot.ase", 2},
        {"knot.ase --texture sky.tga", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        expect_answered_without_writing(std::string(MAKE_KNOT " ") + c.args, c.status, usage);
    }
    EXPECT_EQ(run_make_knot("/nonexistent/dir/knot.ase"), 1);
}
