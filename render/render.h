// Scene set-up and frame drawing.
#pragma once
#include <GL/gl.h>
#include <cstddef>
#include <string>
#include <vector>

#include "mesh/model.h"

struct TgaImage;
struct RgbaImage;
struct model_scene;

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
// The user's turns and stretches from the view state.
void turn_and_stretch();
// The model's fixed scale and, in the fitted views, its framing.
void place_model();

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

enum class view_kind { standard, fitted, model };
// The view that ASEVIEW_VIEW's value asks for: "fit", "model", or the default
// one when unset or empty; anything else ends the process with status 1.
view_kind view_requested(const char* value);
// Frames the loaded model; a model with no drawn face of any extent keeps
// the default view.
void fit_view_to_model();
// The box of the model view's drawn corners, of every object, those with a
// coordinate that is not finite left out; false when none is left.
bool scene_box(double lo[3], double hi[3]);
// Frames the model view's drawn corners, whose box scene_box gave.
void fit_view_to_scene(const double lo[3], const double hi[3]);
// Multiplies the fitted frustum for a window of that aspect onto the
// current matrix.
void fit_projection(double aspect);
// Back to the default view.
void reset_fit_view();

// The model view, asked for with ASEVIEW_VIEW=model: every object of the
// file with its own materials and textures, lit from the eye, framed as the
// fitted view frames. Before the window: finds and decodes the textures
// that the drawn faces use, prints the summary of what it found, frames the
// model and starts turning the model store into vertices.
void prepare_model_view(const char* model_path);
// Uploads the textures and sets the lasting GL state; needs a current
// context.
void init_model_scene();
// Uploads the vertices, built meanwhile on a thread of their own; before the
// first frame.
void finish_model_scene();
void model_display_handler();
// Opens the next .ase file of the model's folder (step +1) or the previous
// one (-1), wrapping around at the ends, in the same window: files that do
// not read as a model are passed over with a line on the console. The new
// model is framed afresh.
void model_view_step(int step);
// Reads the shown file again and shows it with the view kept; a file that
// no longer reads as a model keeps the last good picture and prints
// "reload failed: <path>: <reason>". The same runs by itself when the file
// changes on disk.
void model_view_reload();
// Back to the first view of the model after fit_view_to_scene(): the fitted
// framing, perspective, no turn, pan or zoom.
void model_camera_reset();

// A corner as the model view sends it.
struct model_vertex {
    model_vec3 xyz;
    model_vec3 normal;
    float st[2];
};
static_assert(sizeof(model_vertex) == 32);

// A texture name that drawn faces use, as the search takes it, and what it
// gave.
struct model_texture {
    std::string key;   // as the model names it, backslashes as slashes
    std::string name;  // as "texture not found:" gives it
    RgbaImage* image;  // decoded, until uploaded
    GLuint id;         // the GL texture, once uploaded
    bool found;
    std::string where;  // the file that gave it, or "archive: entry"
    bool loose;         // `where` is a file on disk
    bool never_drawn;   // the game never draws it: not looked for, its faces hidden
    std::string declared_in;  // the shader script or material file that declares it
};
extern std::vector<model_texture> model_textures;
// Takes the scene's textures, their pictures included, for the view.
void take_scene_textures(model_scene& scene);
// Whether the model view hides the face: its material's texture is never
// drawn by the game. Known once the faces were sorted into batches.
bool model_face_hidden(const model_object& object, const model_face& face);
// The files on disk that the shown textures came from or were declared in,
// each once.
std::vector<std::string> model_texture_files();
void upload_model_textures();
// A decoded image as a mipmapped, repeating GL texture; needs a current
// context.
GLuint upload_model_image(const RgbaImage* image);
// Deletes the GL textures and forgets every texture, for the next model.
void reset_model_textures();
