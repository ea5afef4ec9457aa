// Shader scripts (scripts/*.shader) of the Quake III family: which image
// each shader shows in an editor, so that a model naming a shader finds the
// picture behind it.
#pragma once
#include <string_view>
#include <vector>

// Views into the script's text: a game's scripts hold tens of thousands of
// shaders, read at every start.
struct shader_image {
    std::string_view shader;  // the shader's name as written
    std::string_view image;   // the image it shows; empty for none
    bool nodraw = false;      // surfaceparm nodraw: the game never draws its faces
    bool two_sided = false;   // cull none, disable or twosided
};

// Appends, in the order of the text, each named shader of the script with
// the image it shows: its qer_editorImage, else its diffuseMap, else the
// image of its first map stage that is not a $ name ($lightmap,
// $whiteimage); empty when it shows none. Never fails: what it cannot read
// it skips.
void parse_shader_script(std::string_view text, std::vector<shader_image>* out);
