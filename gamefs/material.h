// Material files (materials/*.mtr) of the id Tech 4 games: which image each
// material shows, so that a model naming a material finds the picture
// behind it.
#pragma once
#include <string_view>
#include <vector>

// Views into the file's text, like shader_image.
struct material_image {
    std::string_view material;  // the material's name as written
    std::string_view image;     // the image it shows; empty when it shows none
    // A diffusemap, or a stage with a map or a blend: the game draws its
    // faces (qer_editorimage is for the editor only).
    bool draws = false;
    bool two_sided = false;  // twoSided
};

// Appends, in the order of the text, every material declared ("name { }" or
// "material name { }"; other declarations, "kind name { }", are passed over)
// with its image: its first diffuse map (a diffusemap keyword, or a stage
// blended as diffusemap), else its qer_editorimage, else the map of its first
// stage that is no bump or specular map. An image program stands for its
// first image. Every declaration is listed, repeated names included; a
// nameless one is dropped. Never fails: what it cannot read it skips.
void parse_materials(std::string_view text, std::vector<material_image>* out);
