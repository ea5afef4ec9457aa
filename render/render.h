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
