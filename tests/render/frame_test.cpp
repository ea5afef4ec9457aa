#include <GL/glut.h>

#include <ostream>
#include <string>

#include "input/input.h"
#include "mesh/store.h"
#include "render/render.h"
#include "tests/render/render_fixture.h"
#include "tests/support/files.h"
#include "tests/support/gl_state.h"
#include "tests/support/glut_window.h"

namespace {

enum class Shade { white, yellow, blue_green, other };

std::ostream& operator<<(std::ostream& out, Shade s)
{
    const char* names[] = {"white", "yellow", "blue/green", "other"};
    return out << names[(int)s];
}

Shade classify(Rgb p)
{
    if (p[0] > 240 && p[1] > 240 && p[2] > 240)
        return Shade::white;
    if (p[0] > 200 && p[1] > 200 && p[2] < 60)
        return Shade::yellow;
    if (p[0] < 40 && p[2] > 100)
        return Shade::blue_green;
    return Shade::other;
}

// Window pixel of a model point at z = 0 in a 640 x 480 frame with the start
// view: 0.03 model scale, eye 5 units away, 60 degrees of vertical field.
struct Pixel {
    int x, y;
};

double pixels_per_unit(double eye_distance)
{
    return 0.03 * 240.0 / (eye_distance * std::tan(std::numbers::pi / 6.0));
}

Pixel to_window(double mx, double my)
{
    double per_unit = pixels_per_unit(5.0);
    return {(int)std::lround(320.0 + mx * per_unit), (int)std::lround(240.0 + my * per_unit)};
}

// Face i is a triangle with corners A (left) and B (right) at the bottom and
// C at the top; faces stand side by side, centred on the origin as a row.
// Its centroid is at (centre_x(i), 0).
double centre_x(int i, int faces)
{
    return 30.0 * i - 15.0 * (faces - 1);
}

const float corners[3][2] = {{-12.0f, -20.0f}, {12.0f, -20.0f}, {0.0f, 40.0f}};

void build_row(int faces)
{
    reset_mesh_store();
    alloc_vertices(faces * 3);
    alloc_faces(faces);
    for (int n = 0; n < faces * 3; n++) {
        d_data& v = vertex_list[n];
        v.xyz[0] = (float)centre_x(n / 3, faces) + corners[n % 3][0];
        v.xyz[1] = corners[n % 3][1];
        v.xyz[2] = 0.0f;
        v.norm[2] = 1.0f;
        face_list[n / 3].vert[n % 3] = face_list[n / 3].vnorm[n % 3] = n;
    }
}

// A point of face i weighted towards corner k (0 A, 1 B, 2 C), or by default
// one a little left of and below its centroid, clear of the small triangle
// that the extra vertices draw at the origin.
Pixel face_point(int i, int faces, int corner = -1)
{
    double x = corner < 0 ? -4.0 : 0.0, y = corner < 0 ? -4.0 : 0.0;
    for (int k = 0; k < 3; k++) {
        double w = corner < 0 ? 1.0 / 3.0 : (k == corner ? 0.8 : 0.1);
        x += w * corners[k][0];
        y += w * corners[k][1];
    }
    return to_window(centre_x(i, faces) + x, y);
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        open_frame_window();
        color_cycle = 1;
        reshape_handler(640, 480);
    }
    void TearDown() override { reset_mesh_store(); }

    static void draw()
    {
        display_handler();
        glFinish();
    }
    static Rgb pixel_at(Pixel p) { return read_pixel(p.x, p.y); }
    static Rgb draw_and_read(Pixel p)
    {
        draw();
        return pixel_at(p);
    }
    static Shade shade_at(Pixel p) { return classify(pixel_at(p)); }
};

const int cycle_after[4] = {1, 0, -1, -2};

// Counting every face drawn since start from 0, face i of frame k is yellow
// exactly when k * faces + i leaves 1 when divided by 4.
bool is_yellow(int frame, int faces, int i)
{
    return (frame * faces + i) % 4 == 1;
}

// The parameter is the number of faces.
class PatternTest : public FrameTest, public ::testing::WithParamInterface<int> {};

TEST_P(PatternTest, YellowFacesFollowTheColourCycle)
{
    int faces = GetParam();
    build_row(faces);
    for (int frame = 0; frame < 8; frame++) {
        draw();
        for (int i = 0; i < faces; i++) {
            Shade want = is_yellow(frame, faces, i) ? Shade::yellow : Shade::blue_green;
            Rgb got = pixel_at(face_point(i, faces));
            EXPECT_EQ(classify(got), want)
                << "frame " << frame << " face " << i << " pixel " << (int)got[0] << ","
                << (int)got[1] << "," << (int)got[2];
        }
        EXPECT_EQ(color_cycle, cycle_after[((frame + 1) * faces) % 4]) << "after frame " << frame;
    }
}

INSTANTIATE_TEST_SUITE_P(Faces, PatternTest, ::testing::Values(1, 4, 6),
                         [](const auto& info) { return std::to_string(info.param); });

TEST_F(FrameTest, BackgroundIsWhiteAndTheMeshSitsAtTheCentre)
{
    build_row(1);
    draw();
    EXPECT_EQ(shade_at({320, 230}), Shade::blue_green);
    for (Pixel corner : {Pixel{2, 2}, Pixel{637, 2}, Pixel{2, 477}, Pixel{637, 477},
                         Pixel{320, 400}, Pixel{320, 80}, Pixel{200, 240}, Pixel{440, 240}})
        EXPECT_EQ(shade_at(corner), Shade::white) << corner.x << "," << corner.y;
}

// Corner A and C are blue and corner B green outside the yellow step.
TEST_F(FrameTest, CornersTakeBlueGreenBlue)
{
    build_row(1);
    draw();
    Rgb a = pixel_at(face_point(0, 1, 0)), b = pixel_at(face_point(0, 1, 1)),
        c = pixel_at(face_point(0, 1, 2));
    EXPECT_GT(a[2], 180);
    EXPECT_LT(a[1], 80);
    EXPECT_GT(b[1], 180);
    EXPECT_LT(b[2], 80);
    EXPECT_GT(c[2], 180);
    EXPECT_LT(c[1], 80);
    for (Rgb p : {a, b, c})
        EXPECT_LT(p[0], 20);
}

TEST_F(FrameTest, ZeroFacesDrawOnlyWhiteAndKeepTheCycle)
{
    for (int frame = 0; frame < 3; frame++) {
        draw();
        EXPECT_EQ(color_cycle, 1);
    }
    int not_white = 0;
    for (Rgb p : read_frame(0, 0, 640, 480))
        not_white += classify(p) != Shade::white;
    EXPECT_EQ(not_white, 0);
}

// The 0.03 model scale applies to Z as well: a face 100 model units in front
// of the origin stands 3 units nearer the eye, two units from it, and so
// looks 2.5 times larger than it would at the origin.
TEST_F(FrameTest, ModelScaleAppliesOnEveryAxis)
{
    build_row(1);
    for (int k = 0; k < 3; k++)
        vertex_list[k].xyz[2] = 100.0f;
    display_handler();
    double per_unit = pixels_per_unit(2.0);
    EXPECT_EQ(shade_at({320, (int)std::lround(240.0 + 25.0 * per_unit)}), Shade::blue_green);
    EXPECT_EQ(shade_at({(int)std::lround(320.0 + 15.0 * per_unit), 240}), Shade::white);
}

// Magnified, the extra vertices show their first triangle (model corners
// (0,0), (1,0), (1,1)) in the colour the last face left; the second is
// degenerate and the trailing pair draws nothing.
TEST_F(FrameTest, ExtraVerticesTakeTheLastCornerColour)
{
    scale_x = scale_y = 40.0f;
    Pixel inside = to_window(40.0 * 0.75, 40.0 * 0.25);
    Pixel beside = to_window(40.0 * 0.25, 40.0 * 0.75);
    Pixel pair = to_window(40.0 * 0.4, 40.0 * 1.15);

    EXPECT_EQ(classify(draw_and_read(inside)), Shade::white);

    // One face far outside the view: its corner C is blue, then yellow.
    build_row(1);
    for (int k = 0; k < 3; k++)
        vertex_list[k].xyz[0] += 5000.0f;
    Rgb first = draw_and_read(inside);
    EXPECT_TRUE(first[2] > 200 && first[0] < 40 && first[1] < 40)
        << (int)first[0] << "," << (int)first[1] << "," << (int)first[2];
    EXPECT_EQ(classify(draw_and_read(inside)), Shade::yellow);
    EXPECT_EQ(shade_at(beside), Shade::white);
    EXPECT_EQ(shade_at(pair), Shade::white);
}

// A face naming a vertex that does not exist is not drawn, yet takes its step
// of the cycle: the faces around it keep the colours they would have had.
TEST_F(FrameTest, FaceWithBadIndexIsSkippedAndTheCycleRunsOn)
{
    build_row(3);
    face_list[1].vert[2] = vertex_count;
    for (int frame = 0; frame < 4; frame++) {
        draw();
        EXPECT_EQ(shade_at(face_point(1, 3)), Shade::white) << "frame " << frame;
        for (int i : {0, 2})
            EXPECT_EQ(shade_at(face_point(i, 3)),
                      is_yellow(frame, 3, i) ? Shade::yellow : Shade::blue_green)
                << "frame " << frame << " face " << i;
        EXPECT_EQ(color_cycle, cycle_after[((frame + 1) * 3) % 4]);
    }
}

TEST_F(FrameTest, BadIndicesOfEveryKindReadNothingOutside)
{
    const int bad[] = {-1, 3, 1 << 30, -(1 << 30)};
    for (int field = 0; field < 6; field++)
        for (int value : bad) {
            build_row(1);
            int* slot = field < 3 ? &face_list[0].vert[field] : &face_list[0].vnorm[field - 3];
            *slot = value;
            color_cycle = 1;
            draw();
            EXPECT_EQ(shade_at(face_point(0, 1)), Shade::white) << field << " " << value;
            EXPECT_EQ(color_cycle, 0);
        }
    // Faces but no vertex array at all.
    reset_mesh_store();
    alloc_faces(2);
    color_cycle = 1;
    display_handler();
    EXPECT_EQ(color_cycle, -1);
}

TEST_F(FrameTest, DisplayLeavesTheStateForTheNextFrame)
{
    build_row(2);
    view_yaw = 30.0f;
    view_pitch = -20.0f;
    scale_x = 2.0f;
    glRotatef(15.0f, 0.0f, 0.0f, 1.0f);  // a free spin, which must survive
    const Matrix before = gl_matrix(GL_MODELVIEW_MATRIX);
    display_handler();
    const Matrix after = gl_matrix(GL_MODELVIEW_MATRIX);
    for (int i = 0; i < 16; i++)
        EXPECT_DOUBLE_EQ(after[i], before[i]) << i;
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    EXPECT_EQ((GLuint)gl_integer(GL_TEXTURE_BINDING_2D), texture_id);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

void expect_matrix(GLenum which, const Matrix& want)
{
    expect_matrix_near(gl_matrix(which), want, 1e-6);
}

struct ReshapeCase {
    int width, height;
};

class ReshapeTest : public FrameTest, public ::testing::WithParamInterface<ReshapeCase> {};

TEST_P(ReshapeTest, SetsViewportProjectionAndViewingTransform)
{
    auto [width, height] = GetParam();
    glMatrixMode(GL_PROJECTION);
    glRotatef(10.0f, 1.0f, 0.0f, 0.0f);
    glMatrixMode(GL_MODELVIEW);
    glRotatef(33.0f, 0.0f, 1.0f, 0.0f);
    reshape_handler(width, height);

    std::array<GLint, 4> viewport;
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    EXPECT_EQ(viewport, (std::array<GLint, 4>{0, 0, width, height}));
    expect_matrix(GL_PROJECTION_MATRIX, perspective(60.0, (double)width / height, 1.0, 20.0));
    expect_matrix(GL_MODELVIEW_MATRIX, eye_at_five);
    EXPECT_EQ(gl_integer(GL_MATRIX_MODE), GL_MODELVIEW);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReshapeTest,
                         ::testing::Values(ReshapeCase{640, 480}, ReshapeCase{300, 500},
                                           ReshapeCase{1, 1}, ReshapeCase{1021, 37}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST_F(FrameTest, ZeroHeightKeepsTheLastProjection)
{
    reshape_handler(800, 200);
    glRotatef(33.0f, 0.0f, 1.0f, 0.0f);
    reshape_handler(300, 0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 300);
    EXPECT_EQ(viewport[3], 0);
    expect_matrix(GL_PROJECTION_MATRIX, perspective(60.0, 4.0, 1.0, 20.0));
    expect_matrix(GL_MODELVIEW_MATRIX, eye_at_five);
    reshape_handler(0, 0);
    expect_matrix(GL_PROJECTION_MATRIX, perspective(60.0, 4.0, 1.0, 20.0));
    reshape_handler(200, 100);
    expect_matrix(GL_PROJECTION_MATRIX, perspective(60.0, 2.0, 1.0, 20.0));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}  // namespace
