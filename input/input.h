// View state and the pointer, keyboard, menu and idle handlers.
#pragma once

extern int window_width;
extern int window_height;
extern float smear_x;
extern float smear_y;
extern float scale_x;
extern float scale_y;
extern float view_yaw;
extern float view_pitch;
extern float spin_yaw;
extern float spin_pitch;
extern int last_mouse_x;
extern int last_mouse_y;
extern int rotation_mode;
extern int free_rotate;
extern int smear_x_on;
extern int smear_y_on;
extern int wire_mode;
extern int smooth_shading;

void mouse_handler(int button, int state, int x, int y);
void motion_handler(int x, int y);
void keyboard_handler(unsigned char key, int x, int y);
void menu_handler(int value);
// Applies the free spin. While free rotation is off it unregisters itself,
// so that a viewer at rest costs nothing; 'f' registers it again.
void idle_handler();

// Registers mouse, motion, keyboard and idle handlers, in that order.
void register_input_handlers();
// Builds the pop-up menu and attaches it to the right button.
void create_popup_menu();

// Back to the start values.
void reset_view_state();
