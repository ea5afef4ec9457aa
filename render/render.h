// Scene set-up and frame drawing.
#pragma once
#include <GL/gl.h>

struct TgaImage;

extern GLuint texture_id;
extern float mat_specular[4];
extern float mat_shininess[1];
extern float light_position[4];
extern float light_color[4];

extern int color_cycle;
extern const float MODEL_SCALE;

// Lets the GL driver's per-frame buffers be reused from frame to frame
// instead of being mapped and zeroed anew; called once, before anything is
// allocated.
void keep_frame_memory();
// Loads "map2.tga" and sets the lasting GL state; needs a current context.
void init_scene();
// Uploads a decoded image into the bound 2D texture with its mipmap chain,
// at the image's own size and pixel layout. A colour-mapped image goes
// through its map first; an index outside the map gives black. Without the
// memory for that the process ends with status 1.
void upload_texture(const TgaImage* image);

void display_handler();
void reshape_handler(int width, int height);
// Opens the frame's triangle batch and sends every face; leaves it open.
void draw_mesh();

// The fitted view, asked for with ASEVIEW_VIEW=fit: the model turned so that
// the file's Z is up, seen from the front-right and a little above, its
// picture centred and filling 85 % of the starting window's width or height.
// Set once after loading; without it (fit_view 0) everything is the default
// view.
extern int fit_view;
// The model turned about its box's centre, which it moves to the origin.
extern double fit_model_matrix[16];
// The eye's distance from the model's centre: 5 in the default view.
extern double eye_distance;
extern double fit_near;
extern double fit_far;
// The frustum's centre and half height at unit distance (tangents), for the
// starting window's aspect.
extern double fit_centre_u;
extern double fit_centre_v;
extern double fit_half_height;
// Scale of the extra vertices' positions: 1 in the default view.
extern float extra_vertex_scale;

// Whether the variable's value asks for the fitted view: "fit" does, unset or
// empty does not; anything else ends the process with status 1.
bool fit_requested(const char* value);
// Frames the loaded model; a model with no drawn face of any extent keeps
// the default view.
void fit_view_to_model();
// Multiplies the fitted frustum for a window of that aspect onto the
// current matrix.
void fit_projection(double aspect);
// Back to the default view.
void reset_fit_view();
