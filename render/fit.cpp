#include <GL/gl.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "input/input.h"
#include "mesh/model.h"
#include "mesh/store.h"
#include "render/render.h"

int fit_view = 0;
double fit_model_matrix[16];
double eye_distance = 5.0;
double fit_near = 1.0;
double fit_far = 20.0;
double fit_centre_u = 0.0;
double fit_centre_v = 0.0;
double fit_half_height = 0.0;
float extra_vertex_scale = 1.0f;

// Share of the starting window that the model spans on the axis that binds.
static const double fill = 0.85;
// Where the eye looks from, in degrees: right of the front (the file's -Y
// side) and above the horizon (the file's XY plane).
static const double azimuth = 30.0;
static const double elevation = 20.0;
// Half the default view's vertical field of view: 30 degrees.
static const double half_field = std::numbers::pi / 6.0;

view_kind view_requested(const char* value)
{
    if (value == nullptr || value[0] == '\0')
        return view_kind::standard;
    if (strcmp(value, "fit") == 0)
        return view_kind::fitted;
    if (strcmp(value, "model") == 0)
        return view_kind::model;
    printf("ASEVIEW_VIEW must be fit, model or empty\n");
    exit(1);
}

void reset_fit_view()
{
    fit_view = 0;
    eye_distance = 5.0;
    fit_near = 1.0;
    fit_far = 20.0;
    fit_centre_u = fit_centre_v = fit_half_height = 0.0;
    extra_vertex_scale = 1.0f;
}

static bool finite_point(const float* p)
{
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// The corners of the faces the mesh store draws.
struct store_corners {
    template <typename Visit> void operator()(Visit visit) const
    {
        for (int i = 0; i < MAX_FACES; i++) {
            const face_data* face = &face_list[i];
            if (!face_drawable(face))
                continue;
            for (int k = 0; k < 3; k++)
                visit(vertex_list[face->vert[k]].xyz);
        }
    }
};

// The corners of the faces the model view draws, of every object; hidden
// faces are not drawn.
struct scene_corners {
    template <typename Visit> void operator()(Visit visit) const
    {
        for (const model_object& object : model_objects)
            for (const model_face& face : object.faces)
                if (model_face_drawable(object, face) && !model_face_hidden(object, face))
                    for (int k = 0; k < 3; k++)
                        visit(&object.positions[(size_t)face.vert[k]].x);
    }
};

// The box of the corners that for_each_corner visits; a corner with a
// coordinate that is not finite places nothing and is left out. False when
// no corner is left.
template <typename Corners> static bool drawn_box(Corners for_each_corner, double lo[3], double hi[3])
{
    bool any = false;
    for (int a = 0; a < 3; a++) {
        lo[a] = HUGE_VAL;
        hi[a] = -HUGE_VAL;
    }
    for_each_corner([&](const float* p) {
        if (!finite_point(p))
            return;
        any = true;
        for (int a = 0; a < 3; a++) {
            lo[a] = std::fmin(lo[a], p[a]);
            hi[a] = std::fmax(hi[a], p[a]);
        }
    });
    return any;
}

// Frames the corners that for_each_corner visits, whose drawn box is lo, hi.
template <typename Corners>
static void fit_view_to(Corners for_each_corner, const double lo[3], const double hi[3])
{
    auto for_each_drawn_corner = [&](auto visit) {
        for_each_corner([&](const float* p) {
            if (finite_point(p))
                visit(p);
        });
    };
    double centre[3];
    for (int a = 0; a < 3; a++)
        centre[a] = lo[a] / 2 + hi[a] / 2;

    // The eye's axes in the file's: toward the eye, screen up (the file's Z
    // as seen from there) and screen right. A rotation only: with a scale
    // the normals, never renormalised, would change the sphere-mapped look.
    double az = azimuth * std::numbers::pi / 180, el = elevation * std::numbers::pi / 180;
    double back[3] = {std::sin(az) * std::cos(el), -std::cos(az) * std::cos(el), std::sin(el)};
    double up[3] = {-back[0] * back[2] / std::cos(el), -back[1] * back[2] / std::cos(el),
                    std::cos(el)};
    double right[3] = {up[1] * back[2] - up[2] * back[1], up[2] * back[0] - up[0] * back[2],
                       up[0] * back[1] - up[1] * back[0]};
    const double* rows[3] = {right, up, back};
    // Turned about the box's centre, which lands on the origin.
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++)
            fit_model_matrix[c * 4 + r] = rows[r][c];
        fit_model_matrix[12 + r] =
            -(rows[r][0] * centre[0] + rows[r][1] * centre[1] + rows[r][2] * centre[2]);
        fit_model_matrix[r * 4 + 3] = 0.0;
    }
    fit_model_matrix[15] = 1.0;

    // The eye at twice the largest distance of a corner from the centre, as
    // the default view has it for the default knot: no corner comes nearer
    // than that distance, however the model is turned. Then the corners'
    // extent as seen from there, in tangents of the angle off the view axis.
    auto turned = [&](const float* p, double q[3]) {
        for (int r = 0; r < 3; r++)
            q[r] =
                MODEL_SCALE * (rows[r][0] * (p[0] - centre[0]) + rows[r][1] * (p[1] - centre[1]) +
                               rows[r][2] * (p[2] - centre[2]));
    };
    double radius = 0.0;
    for_each_drawn_corner([&](const float* p) {
        double q[3];
        turned(p, q);
        radius = std::fmax(radius, std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]));
    });
    // A model of no extent (every corner on one point) cannot be framed.
    if (!(radius > 0.0 && std::isfinite(radius)))
        return;
    double distance = 2.0 * radius;
    double u0 = HUGE_VAL, u1 = -HUGE_VAL, v0 = HUGE_VAL, v1 = -HUGE_VAL;
    for_each_drawn_corner([&](const float* p) {
        double q[3];
        turned(p, q);
        double u = q[0] / (distance - q[2]), v = q[1] / (distance - q[2]);
        u0 = std::fmin(u0, u);
        u1 = std::fmax(u1, u);
        v0 = std::fmin(v0, v);
        v1 = std::fmax(v1, v);
    });
    // The frustum centred on that extent, which spans the fill share of the
    // starting window's height or width, whichever binds first. Faces seen
    // edge-on from there, all on one line, have no extent to fill with.
    double start = (double)window_width / window_height;
    double half_height = std::fmax((v1 - v0) / 2, (u1 - u0) / 2 / start) / fill;
    if (!(half_height > 0.0))
        return;
    eye_distance = distance;
    fit_centre_u = u0 / 2 + u1 / 2;
    fit_centre_v = v0 / 2 + v1 / 2;
    fit_half_height = half_height;
    // Depth range in proportion to the model: the near plane close to the eye
    // (a 64th of the distance keeps the depth buffer's precision), the far
    // plane leaves room for the model turned any way and stretched 2.5 times,
    // the most a drag inside the window gives.
    fit_near = distance / 64.0;
    fit_far = distance + 2.5 * radius;
    // The eight extra vertices keep the size on screen that the default view
    // (eye 5 units away, 30 degrees from the axis to the top) gives them.
    extra_vertex_scale = (float)(distance / 5.0 * fit_half_height / std::tan(half_field));
    fit_view = 1;
}

void fit_view_to_model()
{
    double lo[3], hi[3];
    // Nothing to frame: the default view shows what it always showed.
    if (drawn_box(store_corners{}, lo, hi))
        fit_view_to(store_corners{}, lo, hi);
}

bool scene_box(double lo[3], double hi[3])
{
    return drawn_box(scene_corners{}, lo, hi);
}

void fit_view_to_scene(const double lo[3], const double hi[3])
{
    fit_view_to(scene_corners{}, lo, hi);
}

void fit_projection(double aspect)
{
    // A window wider than the starting one shows more on the sides, a
    // narrower one more above and below: the model keeps its whole extent.
    double start = (double)window_width / window_height;
    double half_width = fit_half_height * std::fmax(aspect, start);
    double half_height = half_width / aspect;
    glFrustum(fit_near * (fit_centre_u - half_width), fit_near * (fit_centre_u + half_width),
              fit_near * (fit_centre_v - half_height), fit_near * (fit_centre_v + half_height),
              fit_near, fit_far);
}
