#include "gamefs/shader_script.h"

#include "gamefs/script_tokens.h"

// One pass over the text: nothing is allocated but the results.

// The first image of each kind met in one shader's block.
struct ShaderImages {
    std::string_view editor, diffuse, stage;
    bool nodraw = false, two_sided = false;
};

static void take(std::string_view* slot, std::string_view image)
{
    if (slot->empty())
        *slot = image;
}

static void read_keyword(script_reader* reader, std::string_view word, size_t depth,
                         ShaderImages* images)
{
    if (script_keyword(word, "qer_editorimage")) {
        take(&images->editor, script_argument(reader));
    } else if (script_keyword(word, "diffusemap")) {
        take(&images->diffuse, script_argument(reader));
    } else if (depth == 1 && script_keyword(word, "surfaceparm")) {
        images->nodraw |= script_keyword(script_argument(reader), "nodraw");
    } else if (depth == 1 && script_keyword(word, "cull")) {
        std::string_view cull = script_argument(reader);
        images->two_sided |= script_keyword(cull, "none") || script_keyword(cull, "disable") ||
                             script_keyword(cull, "twosided");
    } else if (depth >= 2) {
        bool animated = script_keyword(word, "animmap");
        if (!animated && !script_keyword(word, "map") && !script_keyword(word, "clampmap"))
            return;
        if (animated)
            script_argument(reader);  // the frequency
        std::string_view image = script_argument(reader);
        if (!image.starts_with('$'))
            take(&images->stage, image);
    }
}

// Reads the block after a shader's opening brace up to its closing one or
// the end of the text; appends the shader when it shows an image or is
// never drawn.
static void read_shader(script_reader* reader, std::string_view name,
                        std::vector<shader_image>* out)
{
    ShaderImages images;
    size_t depth = 1;  // a text of gigabytes nests deeper than an int counts
    for (script_token token = script_next(reader); token.kind != script_token_kind::end;
         token = script_next(reader)) {
        if (token.kind == script_token_kind::open)
            depth++;
        else if (token.kind == script_token_kind::close && --depth == 0)
            break;
        else if (token.kind == script_token_kind::word)
            read_keyword(reader, token.text, depth, &images);
    }
    std::string_view image = !images.editor.empty()    ? images.editor
                             : !images.diffuse.empty() ? images.diffuse
                                                       : images.stage;
    if (!name.empty())
        out->push_back({name, image, images.nodraw, images.two_sided});
}

void parse_shader_script(std::string_view text, std::vector<shader_image>* out)
{
    script_reader reader{text};
    std::string_view name;  // the last word before a block; a nameless block is read and dropped
    for (script_token token = script_next(&reader); token.kind != script_token_kind::end;
         token = script_next(&reader)) {
        if (token.kind == script_token_kind::word) {
            name = token.text;
            continue;
        }
        if (token.kind == script_token_kind::open)
            read_shader(&reader, name, out);
        name = {};
    }
}
