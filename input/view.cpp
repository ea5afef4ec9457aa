#include "input/input.h"

int window_width = 640;
int window_height = 480;
float smear_x = 1.0f;
float smear_y = 1.0f;
float scale_x = 1.0f;
float scale_y = 1.0f;
float view_yaw = 0.0f;
float view_pitch = 0.0f;
float spin_yaw = 0.0f;
float spin_pitch = 0.0f;
int last_mouse_x = 0;
int last_mouse_y = 0;
int rotation_mode = 0;
int free_rotate = 0;
int smear_x_on = 0;
int smear_y_on = 0;
int wire_mode = 0;
int smooth_shading = 0;

void reset_view_state()
{
    smear_x = smear_y = 1.0f;
    scale_x = scale_y = 1.0f;
    view_yaw = view_pitch = 0.0f;
    spin_yaw = spin_pitch = 0.0f;
    last_mouse_x = last_mouse_y = 0;
    rotation_mode = free_rotate = 0;
    smear_x_on = smear_y_on = 0;
    wire_mode = smooth_shading = 0;
}
