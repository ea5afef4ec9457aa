// The shader scripts (scripts/*.shader) and materials (materials/*.mtr) of a
// game's tree, read once when the tree is opened: what each declared name
// shows and how the game draws it, the first declaration in search order
// winning.
#pragma once
#include <cstddef>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gamefs/folders.h"
#include "gamefs/package.h"

// The most script text read from one tree: far beyond any game's, small
// enough to hold and parse within seconds.
constexpr size_t script_budget = size_t(64) << 20;

// What a declaration decides about its name. Views into the index's kept
// text.
struct script_declaration {
    std::string_view image;        // empty when it shows none
    std::string_view declared_in;  // the loose file it came from; empty for an archive's
    bool never_drawn, two_sided;
};

struct script_index {
    using table = std::unordered_map<std::string_view, script_declaration, folded_hash, folded_equal>;
    table shaders, materials;  // in any letter case
    // The names, images and paths the tables view, in blocks: a game's
    // scripts are megabytes, of which these are a small part.
    std::vector<std::unique_ptr<char[]>> texts;
    size_t text_used = 0, text_size = 0;
};

// Reads every package's scripts/*.shader, then its materials/*.mtr, each in
// the order of their names in lower case, the packages in their order. What
// lies past the budget is skipped, with one line on standard output saying
// so.
void index_scripts(script_index* index, const std::vector<std::unique_ptr<game_package>>& packages);
