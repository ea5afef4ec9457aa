// The model view's camera: a turntable about the file's Z axis through the
// model's centre. It starts at the fitted framing (fit_view_to_scene) and
// comes back to it with model_camera_reset (declared in render/render.h).
#pragma once

struct model_camera_state {
    double azimuth;    // degrees about the file's Z; 0 looks at the front (the -Y side)
    double elevation;  // degrees above the file's XY plane
    // The model's centre off the view's axis, in tangents of the angle seen
    // from the eye: a pan keeps its place on the screen while zooming.
    double pan_u, pan_v;
    int zoom;  // wheel notches toward the centre; negative: away
    bool orthographic;
};
extern model_camera_state model_camera;

// Drags, relative to the state where they began and to the pointer's
// travel since, in pixels (x to the right, y down).
void model_camera_turn(const model_camera_state& from, int dx, int dy);
void model_camera_pan(const model_camera_state& from, int dx, int dy);
// Wheel notches: positive comes closer, never through the centre.
void model_camera_zoom(int notches);
// Turns about the up axis as a drag to the right does.
void model_camera_spin(double degrees);
// Looks at the centre from that direction, the pan dropped.
void model_camera_look_from(double azimuth, double elevation);
// Loads the projection and modelview matrices of the camera for the
// current window.
void model_camera_apply();
void model_reshape_handler(int width, int height);
