// The model view's camera. Every frame loads its matrices from the camera's
// state, so a drag or a notch of the wheel costs nothing but a redraw.
#include "render/model_camera.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "input/input.h"
#include "render/model_overlay.h"
#include "render/render.h"

model_camera_state model_camera;
static model_camera_state first_view;
// The model's box centre, in file units, that the camera turns about.
static double centre[3];
static int viewport_width = 640, viewport_height = 480;

static const double degrees_per_pixel = 0.4;
// Each notch takes the eye this share of its distance; counting notches
// makes "in, then out again" end where it began, to the bit. The closest
// is a 58th of the first distance: the eye never reaches the centre.
static const double zoom_step = 0.85;
static const int zoom_in_most = 25, zoom_out_most = -20;

static double degrees(double radians)
{
    return radians * 180.0 / std::numbers::pi;
}

void model_camera_reset()
{
    // The fitted framing's turn read back as the turntable's angles: the
    // rows of its matrix are the eye's right, up and back axes in the file's,
    // and its translation is the turned centre negated.
    const double* m = fit_model_matrix;
    first_view = {0.0, 90.0, 0.0, 0.0, 0, false};
    centre[0] = centre[1] = centre[2] = 0.0;
    if (fit_view) {
        first_view.azimuth = degrees(std::atan2(m[2], -m[6]));
        first_view.elevation = degrees(std::asin(std::clamp(m[10], -1.0, 1.0)));
        for (int c = 0; c < 3; c++)
            centre[c] = -(m[c * 4] * m[12] + m[c * 4 + 1] * m[13] + m[c * 4 + 2] * m[14]);
    }
    model_camera = first_view;
}

void model_camera_turn(const model_camera_state& from, int dx, int dy)
{
    model_camera.azimuth = std::remainder(from.azimuth - dx * degrees_per_pixel, 360.0);
    // A view from straight above or below stays where it is until the drag
    // turns away from it.
    double low = std::fmin(-89.0, from.elevation), high = std::fmax(89.0, from.elevation);
    model_camera.elevation = std::clamp(from.elevation + dy * degrees_per_pixel, low, high);
}

// Half the height and width of the view at unit distance, for the window's
// aspect: as the fitted view, a window wider than the starting one shows
// more on the sides, a narrower one more above and below.
static void half_extent(double* half_width, double* half_height)
{
    double aspect = (double)viewport_width / std::max(1, viewport_height);
    double start = (double)window_width / window_height;
    double fitted = fit_view ? fit_half_height : std::tan(std::numbers::pi / 6);
    *half_width = fitted * std::fmax(aspect, start);
    *half_height = *half_width / aspect;
}

void model_camera_pan(const model_camera_state& from, int dx, int dy)
{
    double half_width, half_height;
    half_extent(&half_width, &half_height);
    double per_pixel = 2.0 * half_height / std::max(1, viewport_height);
    model_camera.pan_u = from.pan_u + dx * per_pixel;
    model_camera.pan_v = from.pan_v - dy * per_pixel;
}

void model_camera_zoom(int notches)
{
    model_camera.zoom = std::clamp(model_camera.zoom + notches, zoom_out_most, zoom_in_most);
}

void model_camera_spin(double degrees)
{
    model_camera.azimuth = std::remainder(model_camera.azimuth - degrees, 360.0);
}

void model_camera_look_from(double azimuth, double elevation)
{
    model_camera.azimuth = azimuth;
    model_camera.elevation = elevation;
    model_camera.pan_u = model_camera.pan_v = 0.0;
}

void model_camera_apply()
{
    double distance = eye_distance * std::pow(zoom_step, model_camera.zoom);
    // Everything drawn, the grid included, lies within reach of the centre.
    double reach = std::fmax(eye_distance / 2, MODEL_SCALE * model_facts.reach);
    double half_width, half_height;
    half_extent(&half_width, &half_height);
    double left = fit_centre_u - half_width, right = fit_centre_u + half_width;
    double bottom = fit_centre_v - half_height, top = fit_centre_v + half_height;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (model_camera.orthographic) {
        // The model keeps its size on the screen at its centre's depth.
        glOrtho(distance * left, distance * right, distance * bottom, distance * top,
                distance - 2 * reach, distance + 2 * reach);
    } else {
        double near = distance / 64.0;
        glFrustum(near * left, near * right, near * bottom, near * top, near, distance + 2 * reach);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslated(model_camera.pan_u * distance, model_camera.pan_v * distance, -distance);
    glRotated(model_camera.elevation - 90.0, 1.0, 0.0, 0.0);
    glRotated(-model_camera.azimuth, 0.0, 0.0, 1.0);
    glScaled(MODEL_SCALE, MODEL_SCALE, MODEL_SCALE);
    glTranslated(-centre[0], -centre[1], -centre[2]);
}

void model_reshape_handler(int width, int height)
{
    glViewport(0, 0, width, height);
    viewport_width = width;
    viewport_height = height;
}
