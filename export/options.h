// What a user asks of an export, apart from the glTF library's types: the
// batch and the command line need only this.
#pragma once

struct export_options {
    float scale = 1.0f;         // file units to glTF units
    bool all_surfaces = false;  // keep the surfaces the game never draws
    bool plain = false;         // one base colour texture a material, for readers that want no more
};
