#include "gamefs/script_index.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_set>

#include "gamefs/material.h"
#include "gamefs/script_tokens.h"
#include "gamefs/shader_script.h"

static std::string_view kept(script_index* index, std::string text)
{
    return index->texts.emplace_back(std::move(text));
}

// One file's declarations, met in the order of its text: the lines before
// each block are counted once.
struct FileBlocks {
    std::string_view text, source, declared_in;
    size_t counted = 0;
    int line = 1;

    // The block after the declaration's name: from the next "{" to its match
    // or the end of the text.
    void find(std::string_view name, script_declaration* declaration)
    {
        size_t at = size_t(name.data() - text.data());
        script_reader reader{text, at > 0 && text[at - 1] == '"' ? at - 1 : at};
        script_next(&reader);
        script_token token = script_next(&reader);
        while (token.kind == script_token_kind::word || token.kind == script_token_kind::mark)
            token = script_next(&reader);
        if (token.kind != script_token_kind::open)
            return;
        size_t start = size_t(token.text.data() - text.data());
        for (size_t depth = 1; depth > 0;) {
            token = script_next(&reader);
            if (token.kind == script_token_kind::end)
                break;
            depth += token.kind == script_token_kind::open    ? 1
                     : token.kind == script_token_kind::close ? -1
                                                              : 0;
        }
        declaration->block = text.substr(start, reader.at - start);
        if (start >= counted) {
            line += int(std::count(text.begin() + long(counted), text.begin() + long(start), '\n'));
            counted = start;
        }
        declaration->first_line = line;
        declaration->source = source;
        declaration->declared_in = declared_in;
    }
};

static void declare(script_index::table& table, std::string_view name, FileBlocks& file,
                    script_declaration declaration)
{
    if (table.contains(name))
        return;
    file.find(name, &declaration);
    table.emplace(name, declaration);
}

static void index_shaders(script_index* index, FileBlocks& file)
{
    std::vector<shader_image> shaders;
    parse_shader_script(file.text, &shaders);
    for (const shader_image& shader : shaders) {
        script_declaration declaration;
        declaration.image = shader.image;
        declaration.never_drawn = shader.nodraw;
        declaration.two_sided = shader.two_sided;
        declare(index->shaders, shader.shader, file, declaration);
    }
}

static void index_materials(script_index* index, FileBlocks& file)
{
    std::vector<material_image> materials;
    parse_materials(file.text, &materials);
    for (const material_image& material : materials) {
        script_declaration declaration;
        declaration.image = material.image;
        declaration.never_drawn = !material.draws;
        declaration.two_sided = material.two_sided;
        declare(index->materials, material.material, file, declaration);
    }
    read_material_tables(file.text, &index->tables);
}

using indexer = void (*)(script_index*, FileBlocks&);

// Indexes each listed file while the budget lasts; false once a file is past
// it, which is then reported.
static bool index_files(script_index* index, const std::vector<listed_file>& files, indexer parse,
                        size_t* budget)
{
    for (const listed_file& listed : files) {
        const game_file& file = listed.file;
        if (listed.size > *budget) {
            printf("scripts skipped: over %zu MiB of shader and material text; %s%s%s and the "
                   "scripts after it "
                   "are not read\n",
                   script_budget >> 20, file.path.c_str(), file.entry_name.empty() ? "" : ": ",
                   file.entry_name.c_str());
            return false;
        }
        std::string text;
        if (!file.package->read(file, *budget, &text, nullptr))
            continue;
        *budget -= text.size();
        FileBlocks blocks;
        blocks.text = kept(index, std::move(text));
        bool loose = file.entry_name.empty();
        blocks.source = kept(index, loose ? file.path : file.path + ": " + file.entry_name);
        blocks.declared_in = loose ? blocks.source : std::string_view();
        parse(index, blocks);
    }
    return true;
}

// The first table of each name, in any letter case, is the one expressions read.
static void keep_first_tables(std::vector<material_table>* tables)
{
    std::unordered_set<std::string> seen;
    std::erase_if(*tables, [&seen](const material_table& table) {
        return !seen.insert(fold_case(table.name)).second;
    });
}

void index_scripts(script_index* index, const std::vector<std::unique_ptr<game_package>>& packages)
{
    size_t budget = script_budget;
    for (const auto& package : packages)
        if (!index_files(index, package->list("scripts", ".shader"), index_shaders, &budget) ||
            !index_files(index, package->list("materials", ".mtr"), index_materials, &budget))
            break;
    keep_first_tables(&index->tables);
}
