// The shader scripts (scripts/*.shader) and materials (materials/*.mtr) of a
// game's tree, read once when the tree is opened: what each declared name
// shows and how the game draws it, the first declaration in search order
// winning.
#pragma once
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gamefs/folders.h"
#include "gamefs/package.h"
#include "gamefs/stages.h"

// The most script text read from one tree: far beyond any game's, small
// enough to hold and parse within seconds.
constexpr size_t script_budget = size_t(64) << 20;

// What a declaration decides about its name. Views into the index's kept
// text.
struct script_declaration {
    std::string_view image;        // empty when it shows none
    std::string_view declared_in;  // the loose file it came from; empty for an archive's
    bool never_drawn = false, two_sided = false;
    // The declaration's block, from its "{" to the matching "}" or the end of
    // its text, which the material readers read.
    std::string_view block;
    int first_line = 0;       // the line of the block's "{" in its file, from 1
    std::string_view source;  // the loose file, or "ARCHIVE: ENTRY", for messages
};

struct script_index {
    using table =
        std::unordered_map<std::string_view, script_declaration, folded_hash, folded_equal>;
    table shaders, materials;  // in any letter case
    // The tables the materials declare (`table name { ... }`), the first of
    // a name winning.
    std::vector<material_table> tables;
    // Each script file's text whole and the names of the files: what the
    // declarations view. A deque never moves what it holds.
    std::deque<std::string> texts;
};

// Reads every package's scripts/*.shader, then its materials/*.mtr, each in
// the order of their names in lower case, the packages in their order. What
// lies past the budget is skipped, with one line on standard output saying
// so.
void index_scripts(script_index* index, const std::vector<std::unique_ptr<game_package>>& packages);
