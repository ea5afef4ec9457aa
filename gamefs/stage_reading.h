// What the two material readers share: a stage's defaults, constants and
// numbers as the scripts write them.
#pragma once
#include <string_view>

#include "gamefs/stages.h"

// The most stages kept of one material: far beyond any game's; a hostile
// file's rest is read and dropped.
constexpr size_t stage_limit = 256;

material_expression constant_expression(float value);
// Colour 1 in every channel, always drawn, replacing what is below.
material_stage default_stage();
// The number the word starts with, as atof reads it, 0 when none or out of
// float's range; ok (may be null) says whether the whole word was one.
float script_number(std::string_view word, bool* ok = nullptr);
// A GL_* blend factor by its name in any letter case, as a source or a
// destination takes it; false for a name that is none of those.
bool gl_blend_factor(std::string_view name, bool source, blend_factor* factor);
// Equality with ASCII letter case ignored.
bool same_name(std::string_view a, std::string_view b);
