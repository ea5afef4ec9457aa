// The model view's GLSL programs for the game's look, compiled once per
// process: the lit interaction and the unlit stage.
#pragma once
#include <GL/gl.h>

struct interaction_program {
    GLuint id = 0;
    GLint eye, orthographic, bump_matrix, diffuse_matrix, specular_matrix;
    GLint bump_map, diffuse_map, specular_map, specular_table;
    GLint diffuse_color, specular_color, rules, vertex_colors, normal_axes;
};

struct stage_program {
    GLuint id = 0;
    GLint eye, orthographic, environment, turb, transform;
    GLint color_source, color, vertex_alpha, image, alpha_function, alpha_threshold;
};

// Attribute numbers bound before linking.
constexpr GLuint tangent_attribute = 6, bitangent_attribute = 7;

// Compiles and links both, once; a failure prints the compiler's log. False
// (and from then on) when the GL has no GLSL 1.20 or a program did not
// build: the model view then keeps to the editor's look, saying so once.
bool model_programs_ready();
const interaction_program& model_interaction_program();
const stage_program& model_stage_program();
