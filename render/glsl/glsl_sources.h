// The model view's GLSL sources, as text.
#pragma once

extern const char* const glsl_interaction_vert;
extern const char* const glsl_interaction_frag;
extern const char* const glsl_stage_vert;
extern const char* const glsl_stage_frag;
