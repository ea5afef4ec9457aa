#include "gamefs/script_index.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "gamefs/material.h"
#include "gamefs/shader_script.h"

constexpr size_t text_block = 1 << 16;

// A copy of the text that lives as long as the index.
static std::string_view kept(script_index* index, std::string_view text)
{
    if (index->text_used + text.size() > index->text_size) {
        index->text_size = std::max(text.size(), text_block);
        index->texts.emplace_back(new char[index->text_size]);
        index->text_used = 0;
    }
    char* at = index->texts.back().get() + index->text_used;
    std::copy(text.begin(), text.end(), at);
    index->text_used += text.size();
    return {at, text.size()};
}

static void declare(script_index* index, script_index::table& table, std::string_view name,
                    const script_declaration& declaration)
{
    if (!table.contains(name))
        table.emplace(kept(index, name), script_declaration{kept(index, declaration.image), declaration.declared_in,
                                                            declaration.never_drawn, declaration.two_sided});
}

static void index_shaders(script_index* index, std::string_view text, std::string_view file)
{
    std::vector<shader_image> shaders;
    parse_shader_script(text, &shaders);
    for (const shader_image& shader : shaders)
        declare(index, index->shaders, shader.shader, {shader.image, file, shader.nodraw, shader.two_sided});
}

static void index_materials(script_index* index, std::string_view text, std::string_view file)
{
    std::vector<material_image> materials;
    parse_materials(text, &materials);
    for (const material_image& material : materials)
        declare(index, index->materials, material.material,
                {material.image, file, !material.draws, material.two_sided});
}

using indexer = void (*)(script_index*, std::string_view, std::string_view);

// Indexes each listed file while the budget lasts; false once a file is past
// it, which is then reported.
static bool index_files(script_index* index, const std::vector<listed_file>& files, indexer parse,
                        size_t* budget)
{
    std::string text;
    for (const listed_file& listed : files) {
        const game_file& file = listed.file;
        if (listed.size > *budget) {
            printf("scripts skipped: over %zu MiB of shader and material text; %s%s%s and the scripts after it "
                   "are not read\n",
                   script_budget >> 20, file.path.c_str(), file.entry_name.empty() ? "" : ": ",
                   file.entry_name.c_str());
            return false;
        }
        if (!file.package->read(file, *budget, &text, nullptr))
            continue;
        *budget -= text.size();
        parse(index, text, file.entry_name.empty() ? kept(index, file.path) : std::string_view());
    }
    return true;
}

void index_scripts(script_index* index, const std::vector<std::unique_ptr<game_package>>& packages)
{
    size_t budget = script_budget;
    for (const auto& package : packages)
        if (!index_files(index, package->list("scripts", ".shader"), index_shaders, &budget) ||
            !index_files(index, package->list("materials", ".mtr"), index_materials, &budget))
            return;
}
