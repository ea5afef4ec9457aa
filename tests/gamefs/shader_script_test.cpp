#include <gtest/gtest.h>

#include <random>

#include "gamefs/shader_script.h"

using Pairs = std::vector<std::pair<std::string, std::string>>;

static Pairs parsed(std::string_view text)
{
    std::vector<shader_image> found;
    parse_shader_script(text, &found);
    Pairs pairs;
    for (const shader_image& s : found)
        pairs.emplace_back(s.shader, s.image);
    return pairs;
}

TEST(ShaderScript, EachShaderShowsItsImage)
{
    const struct { std::string text; Pairs expected; } cases[] = {
        {"// walls\ntextures/base/panel\n{\n\tqer_editorImage textures/base/panel_ed.tga\n\t{\n"
         "\t\tmap $lightmap\n\t}\n}\nmodels/tree/bark\n{\n\tcull none\n\t{\n"
         "\t\tmap models/tree/bark.tga\n\t\talphaFunc GE128\n\t}\n}\n",
         {{"textures/base/panel", "textures/base/panel_ed.tga"},
          {"models/tree/bark", "models/tree/bark.tga"}}},
        {"a { { map m } diffuseMap d\n qer_editorImage e }", {{"a", "e"}}},
        {"a { { map m } diffuseMap d }", {{"a", "d"}}},
        {"a { { map $lightmap } { clampMap c } { map m } }", {{"a", "c"}}},
        {"a { { animMap 10 $x f1 f2 } }", {{"a", ""}}},
        {"a { { animMap 10 f1 f2 } } b { { animMap 10\n map m } }", {{"a", "f1"}, {"b", "m"}}},
        {"a { map m } b { cull none { rgbGen identity } }", {{"a", ""}, {"b", ""}}},
        {"a { { MAP M } } b { QER_EDITORIMAGE E } c { DiffuseMap D }",
         {{"a", "M"}, {"b", "E"}, {"c", "D"}}},
        {"a// x {\n{ /* } */ { map /* x */ m // n\n } }", {{"a", "m"}}},
        {"a/* { */{qer_editorImage e/*x*/}", {{"a", "e"}}},
        {"a { qer_editorImage /*\n*/ e diffuseMap d }", {{"a", "d"}}},
        {"a{qer_editorImage e}b{{map m}}", {{"a", "e"}, {"b", "m"}}},
        {R"("my shader" { qer_editorImage "my image.tga" } "{" { diffuseMap "}" })",
         {{"my shader", "my image.tga"}, {"{", "}"}}},
        {"\"\" { qer_editorImage e } a { qer_editorImage \"\" }", {{"a", ""}}},
        {"a { qer_editorImage \"e f\n }", {{"a", "e f"}}},
        {"a { { { { map m } } } }", {{"a", "m"}}},
        {"a { qer_editorImage e } /* b { qer_editorImage f }", {{"a", "e"}}},
        {"a { qer_editorImage e\n { map m", {{"a", "e"}}},
        {"} a { diffuseMap d } } b { { map m } }", {{"a", "d"}, {"b", "m"}}},
        {"{ qer_editorImage e } a { qer_editorImage f } { diffuseMap d }", {{"a", "f"}}},
        {"a { qer_editorImage\n diffuseMap d }", {{"a", "d"}}},
        {"a { { map\n m } } b { { animMap 10\n } }", {{"a", ""}, {"b", ""}}},
        {std::string("a\0{\0{\0map\0m\0}\0}", 15), {{"a", "m"}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parsed(c.text), c.expected);
    }
}

TEST(ShaderScript, HostileTextEndsCleanly)
{
    std::string name(10 << 20, 'n');
    EXPECT_EQ(parsed(name + "{ qer_editorImage e }"), (Pairs{{name, "e"}}));
    for (std::string_view unit : {"{", "/*", "\"", "}", "map ", "a{{animMap\n"}) {
        std::string text;
        while (text.size() < 1 << 20)
            text += unit;
        Pairs expected;
        if (unit == "a{{animMap\n")
            expected = {{"a", ""}};
        EXPECT_EQ(parsed(text), expected);
    }
    std::mt19937 random(7);
    std::string garbage(1 << 20, '\0');
    for (char& c : garbage)
        c = char(random());
    for (const auto& [shader, image] : parsed(garbage))
        EXPECT_FALSE(shader.empty());
}
