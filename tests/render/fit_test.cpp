// The fitted view under real Mesa: frames of boxes of every shape, size and
// place, after resizes too, and the default view kept when there is nothing
// to frame.
#include <GL/glut.h>

#include <cmath>
#include <string>

#include "input/input.h"
#include "mesh/store.h"
#include "render/render.h"
#include "tests/render/render_fixture.h"
#include "tests/support/files.h"
#include "tests/support/gl_state.h"
#include "tests/support/glut_window.h"

namespace {

class FitViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        open_frame_window();
        reset_fit_view();
    }
    void TearDown() override
    {
        reset_mesh_store();
        reset_fit_view();
    }
};

// A box from its centre and half sizes: 8 corners, 12 faces.
void build_box(const double centre[3], const double half[3])
{
    reset_mesh_store();
    alloc_vertices(8);
    alloc_faces(12);
    for (int n = 0; n < 8; n++)
        for (int a = 0; a < 3; a++) {
            double sign = (n >> a & 1) ? 1.0 : -1.0;
            vertex_list[n].xyz[a] = (float)(centre[a] + sign * half[a]);
            vertex_list[n].norm[a] = (float)(sign * 0.57735);
        }
    const int quads[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    for (int q = 0; q < 6; q++) {
        const int tri[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (int t = 0; t < 2; t++)
            for (int k = 0; k < 3; k++)
                face_list[q * 2 + t].vert[k] = face_list[q * 2 + t].vnorm[k] = quads[q][tri[t][k]];
    }
}

struct Extent {
    int x0, y0, x1, y1;
    double width_share(int w) const { return double(x1 - x0 + 1) / w; }
    double height_share(int h) const { return double(y1 - y0 + 1) / h; }
};

// The non-white pixels of a frame drawn in a window of that size.
Extent draw_in(int width, int height)
{
    reshape_handler(width, height);
    display_handler();
    glFinish();
    Extent e{width, height, -1, -1};
    std::vector<Rgb> pixels = read_frame(0, 0, width, height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            Rgb p = pixels[(size_t)y * width + x];
            if (p[0] < 250 || p[1] < 250 || p[2] < 250)
                e = {std::min(e.x0, x), std::min(e.y0, y), std::max(e.x1, x), std::max(e.y1, y)};
        }
    return e;
}

void expect_centred_inside(const Extent& e, int width, int height, const std::string& what)
{
    EXPECT_TRUE(e.x0 > 0 && e.y0 > 0 && e.x1 < width - 1 && e.y1 < height - 1) << what;
    EXPECT_NEAR((e.x0 + e.x1) / 2.0, (width - 1) / 2.0, 2.0) << what;
    EXPECT_NEAR((e.y0 + e.y1) / 2.0, (height - 1) / 2.0, 2.0) << what;
}

enum class Shape { any, tall, wide };

struct BoxCase {
    const char* name;
    double centre[3], half[3];
    Shape shape;
};

class FitBoxTest : public FitViewTest, public ::testing::WithParamInterface<BoxCase> {};

// Centred, 85 % of the binding side, the file's Z up; a narrower window keeps
// the share of the width, a wider one that of the height.
TEST_P(FitBoxTest, FillsTheFrameWhateverItsSize)
{
    const BoxCase& c = GetParam();
    build_box(c.centre, c.half);
    fit_view_to_model();
    ASSERT_EQ(fit_view, 1);
    Extent start = draw_in(640, 480);
    expect_centred_inside(start, 640, 480, "640 x 480");
    EXPECT_NEAR(std::max(start.width_share(640), start.height_share(480)), 0.85, 0.01);
    if (c.shape == Shape::tall) {
        EXPECT_GT(start.y1 - start.y0, 2 * (start.x1 - start.x0));
    }
    if (c.shape == Shape::wide) {
        EXPECT_GT(start.x1 - start.x0, 2 * (start.y1 - start.y0));
    }

    Extent narrow = draw_in(240, 400);
    expect_centred_inside(narrow, 240, 400, "240 x 400");
    EXPECT_NEAR(narrow.width_share(240), start.width_share(640), 0.015);
    Extent wide = draw_in(640, 200);
    expect_centred_inside(wide, 640, 200, "640 x 200");
    EXPECT_NEAR(wide.height_share(200), start.height_share(480), 0.015);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, FitBoxTest,
    ::testing::Values(BoxCase{"cube", {0, 0, 0}, {40, 40, 40}, Shape::any},
                      BoxCase{"tower", {0, 0, 0}, {5, 5, 60}, Shape::tall},
                      BoxCase{"beam", {0, 0, 0}, {80, 4, 4}, Shape::wide},
                      BoxCase{"speck_far_off", {1000, -2000, 500}, {0.05, 0.03, 0.02}, Shape::any},
                      BoxCase{"hall", {0, 0, 0}, {40000, 30000, 10000}, Shape::any}),
    [](const auto& info) { return std::string(info.param.name); });

// The model is moved and turned, never scaled (the normals are not
// renormalised): its centre goes to the origin, the eye straight back from
// it; the file's Z points up, and its X (right), -Y (front) and Z (above)
// toward the eye.
TEST_F(FitViewTest, ModelIsMovedAndTurnedNeverScaled)
{
    const double centre[3] = {300, -50, 20}, half[3] = {30, 20, 10};
    build_box(centre, half);
    fit_view_to_model();
    ASSERT_EQ(fit_view, 1);
    const double* m = fit_model_matrix;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            double dot = 0;
            for (int k = 0; k < 3; k++)
                dot += m[i * 4 + k] * m[j * 4 + k];
            EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-12) << i << " " << j;
        }
    double det = m[0] * (m[5] * m[10] - m[9] * m[6]) - m[4] * (m[1] * m[10] - m[9] * m[2]) +
                 m[8] * (m[1] * m[6] - m[5] * m[2]);
    EXPECT_NEAR(det, 1.0, 1e-12);
    for (int r = 0; r < 3; r++)
        EXPECT_NEAR(m[r] * centre[0] + m[4 + r] * centre[1] + m[8 + r] * centre[2] + m[12 + r], 0.0,
                    1e-9);
    EXPECT_NEAR(m[8], 0.0, 1e-12);
    EXPECT_GT(m[9], 0.5);
    EXPECT_GT(m[2], 0.0);
    EXPECT_LT(m[6], 0.0);
    EXPECT_GT(m[10], 0.0);
    reshape_handler(640, 480);
    expect_matrix_near(gl_matrix(GL_MODELVIEW_MATRIX),
                       {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -eye_distance, 1}, 1e-6);
}

const double origin[3] = {0, 0, 0}, half[3] = {10, 10, 10}, none[3] = {0, 0, 0};

// No drawn face, or none of any extent: the default view, matrices and all.
TEST_F(FitViewTest, NothingToFrameKeepsTheDefaultView)
{
    struct {
        const char* name;
        void (*build)();
    } cases[] = {
        {"no mesh", [] {}},
        {"faces naming no vertex",
         [] {
             build_box(origin, half);
             for (int i = 0; i < MAX_FACES; i++)
                 face_list[i].vert[2] = 8;
         }},
        {"every corner on one point", [] { build_box(origin, none); }},
        {"no finite corner",
         [] {
             build_box(origin, half);
             for (int n = 0; n < vertex_count; n++)
                 vertex_list[n].xyz[1] = INFINITY;
         }},
    };
    for (const auto& c : cases) {
        reset_mesh_store();
        c.build();
        fit_view_to_model();
        EXPECT_EQ(fit_view, 0) << c.name;
        reshape_handler(640, 480);
        expect_matrix_near(gl_matrix(GL_PROJECTION_MATRIX), perspective(60.0, 4.0 / 3.0, 1.0, 20.0),
                           1e-6);
        expect_matrix_near(gl_matrix(GL_MODELVIEW_MATRIX), eye_at_five, 1e-6);
        EXPECT_EQ(extra_vertex_scale, 1.0f) << c.name;
    }
}

}  // namespace
