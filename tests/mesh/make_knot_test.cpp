#include <cmath>
#include <filesystem>
#include <map>

#include "mesh_support.h"

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
    const struct { const char* faces; int low, high; } cases[] = {
        {"", 5000, 10000}, {"200", 150, 250}, {"30000", 27000, 33000}, {"1", 144, 144}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faces);
        ASSERT_EQ(run_make_knot(path + " " + c.faces), 0);
        reset_ase_reader();
        load_model(path.c_str());
        EXPECT_GE(MAX_FACES, c.low);
        EXPECT_LE(MAX_FACES, c.high);
        expect_closed_tube();
    }
}

TEST(MakeKnot, RefusesBadArguments)
{
    ScratchFolder scratch;
    std::string path = "knot.ase";
    for (const char* faces : {"0", "-5", "12x", "100000001", "1 2"}) {
        SCOPED_TRACE(faces);
        EXPECT_EQ(run_make_knot(path + " " + faces), 2);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    EXPECT_EQ(run_make_knot(""), 2);
    EXPECT_EQ(run_make_knot("/nonexistent/dir/knot.ase"), 1);
}
