#include "gamefs/material.h"

#include "gamefs/script_tokens.h"

// One pass over the text without recursion: braces and parentheses nest as
// deep as a hostile file likes.

struct MaterialImages {
    std::string_view diffuse, editor, stage;  // the first of each kind
    bool draws = false, two_sided = false;
};

// What a stage's blend makes of its map: bump and specular maps are never
// the image.
enum class StageKind { other, diffuse, hidden };

struct Stage {
    StageKind kind = StageKind::other;
    std::string_view image;
    bool draws = false;  // it has a map or a blend
};

static void take(std::string_view* slot, std::string_view image)
{
    if (slot->empty())
        *slot = image;
}

static bool is_mark(const script_token& token, char c)
{
    return token.kind == script_token_kind::mark && token.text[0] == c;
}

// The program whose name was just read stands for the first word in its
// parentheses, at any depth, that names no program of its own. Read to its
// closing parenthesis; a brace, left for the block, ends it too.
static std::string_view read_program(script_reader* reader)
{
    std::string_view image;
    size_t depth = 0;
    for (;;) {
        script_reader ahead = *reader;
        script_token token = script_next(&ahead);
        if (token.kind != script_token_kind::word && token.kind != script_token_kind::mark)
            return image;
        *reader = ahead;
        if (is_mark(token, '('))
            depth++;
        else if (is_mark(token, ')') && --depth == 0)
            return image;
        else if (token.kind == script_token_kind::word && image.empty() &&
                 !script_next_is(reader, '('))
            image = token.text;
    }
}

// The image after a keyword: a word on its line, or the program it starts.
static std::string_view read_image(script_reader* reader)
{
    std::string_view word = script_argument(reader);
    return !word.empty() && script_next_is(reader, '(') ? read_program(reader) : word;
}

static void read_material_keyword(script_reader* reader, std::string_view word,
                                  MaterialImages* images)
{
    if (script_keyword(word, "diffusemap")) {
        images->draws = true;
        take(&images->diffuse, read_image(reader));
    } else if (script_keyword(word, "twosided")) {
        images->two_sided = true;
    } else if (script_keyword(word, "qer_editorimage")) {
        take(&images->editor, read_image(reader));
    } else if (script_keyword(word, "bumpmap") || script_keyword(word, "specularmap")) {
        read_image(reader);
    }
}

static void read_stage_keyword(script_reader* reader, std::string_view word, Stage* stage)
{
    if (script_keyword(word, "blend")) {
        stage->draws = true;
        std::string_view blend = script_argument(reader);
        stage->kind = script_keyword(blend, "diffusemap") ? StageKind::diffuse
                      : script_keyword(blend, "bumpmap") || script_keyword(blend, "specularmap")
                          ? StageKind::hidden
                          : StageKind::other;
    } else if (script_keyword(word, "map")) {
        stage->draws = true;
        take(&stage->image, read_image(reader));
    }
}

// A stage is judged at its end: its blend may follow its map.
static void end_stage(const Stage& stage, MaterialImages* images)
{
    images->draws |= stage.draws;
    if (stage.kind == StageKind::diffuse)
        take(&images->diffuse, stage.image);
    else if (stage.kind == StageKind::other)
        take(&images->stage, stage.image);
}

// Reads the block after a material's opening brace up to its closing one
// or the end of the text. Words deeper than a stage belong to the stage.
static void read_material(script_reader* reader, std::string_view name,
                          std::vector<material_image>* out)
{
    MaterialImages images;
    Stage stage;
    size_t depth = 1;  // a text of gigabytes nests deeper than an int counts
    for (script_token token = script_next(reader); token.kind != script_token_kind::end;
         token = script_next(reader)) {
        if (token.kind == script_token_kind::open && ++depth == 2) {
            stage = {};
        } else if (token.kind == script_token_kind::close) {
            if (depth == 2)
                end_stage(stage, &images);
            if (--depth == 0)
                break;
        } else if (token.kind == script_token_kind::word) {
            if (depth == 1)
                read_material_keyword(reader, token.text, &images);
            else
                read_stage_keyword(reader, token.text, &stage);
        }
    }
    if (depth >= 2)
        end_stage(stage, &images);
    std::string_view image = !images.diffuse.empty()  ? images.diffuse
                             : !images.editor.empty() ? images.editor
                                                      : images.stage;
    if (!name.empty())
        out->push_back({name, image, images.draws, images.two_sided});
}

static void skip_block(script_reader* reader)
{
    size_t depth = 1;
    for (script_token token = script_next(reader); token.kind != script_token_kind::end;
         token = script_next(reader)) {
        if (token.kind == script_token_kind::open)
            depth++;
        else if (token.kind == script_token_kind::close && --depth == 0)
            return;
    }
}

void parse_materials(std::string_view text, std::vector<material_image>* out)
{
    script_reader reader{text, 0, true};
    // The last two words before a block: "name {" and "material name {"
    // open a material, any other "kind name {" a declaration passed over.
    std::string_view kind, name;
    size_t words = 0;
    for (script_token token = script_next(&reader); token.kind != script_token_kind::end;
         token = script_next(&reader)) {
        if (token.kind == script_token_kind::word) {
            kind = name;
            name = token.text;
            words++;
            continue;
        }
        if (token.kind == script_token_kind::open) {
            if (words < 2 || script_keyword(kind, "material"))
                read_material(&reader, name, out);
            else
                skip_block(&reader);
        }
        words = 0;
        name = {};
    }
}
