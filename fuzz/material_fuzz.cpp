// Arbitrary bytes through the material readers: every material the image
// reader returns must have a name, and name and image must be pieces of the
// text; the whole text read as one material's block, and its tables, must
// give a bounded material whose every value is finite.
#include <cstdlib>
#include <string_view>

#include "fuzz/stage_check.h"
#include "gamefs/material.h"

static bool inside(std::string_view piece, std::string_view text)
{
    return piece.empty() || (piece.data() >= text.data() &&
                             piece.data() + piece.size() <= text.data() + text.size());
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<material_image> found;
    parse_materials(text, &found);
    for (const material_image& m : found)
        if (m.material.empty() || !inside(m.material, text) || !inside(m.image, text))
            abort();
    std::vector<material_table> tables;
    read_material_tables(text, &tables);
    for (const material_table& table : tables)
        for (float at : {0.0f, 0.3f, -7.5f, 1e30f})
            check_value(table_lookup(table, at));
    for (material_rules rules : {material_rules::id_tech4, material_rules::dark_mod})
        check_material(read_id_tech4_material("m", text, 1, rules, tables));
    return 0;
}
