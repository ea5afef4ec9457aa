#include <gtest/gtest.h>

#include <random>

#include "gamefs/material.h"

using Pairs = std::vector<std::pair<std::string, std::string>>;

static Pairs parsed(std::string_view text)
{
    std::vector<material_image> found;
    parse_materials(text, &found);
    Pairs pairs;
    for (const material_image& m : found)
        pairs.emplace_back(m.material, m.image);
    return pairs;
}

TEST(Material, EachMaterialShowsItsImage)
{
    const struct {
        std::string text;
        Pairs expected;
    } cases[] = {
        {"// walls\ntextures/base_wall/panel\n{\n\tqer_editorimage textures/panel_ed.tga\n"
         "\tbumpmap textures/panel_local.tga\n\tdiffusemap textures/panel_d.tga\n}\n"
         "material models/imp\n{\n\t{\n\t\tblend bumpmap\n"
         "\t\tmap addnormals(models/imp_local, heightmap(models/imp_h, 4))\n\t}\n"
         "\t{\n\t\tmap models/imp_d\n\t\tblend diffusemap\n\t}\n}\n",
         {{"textures/base_wall/panel", "textures/panel_d.tga"}, {"models/imp", "models/imp_d"}}},
        {"a { qer_editorimage e { blend diffusemap map d } }", {{"a", "d"}}},
        {"a { { map s } qer_editorimage e }", {{"a", "e"}}},
        {"a { { blend diffusemap map x } diffusemap d }\n"
         "b { diffusemap d { map x blend diffusemap } }",
         {{"a", "x"}, {"b", "d"}}},
        {"a { { blend bumpmap map b } { blend specularmap map s } { blend add map m } }",
         {{"a", "m"}}},
        {"a { bumpmap b specularmap s { blend gl_one, gl_zero map m } }", {{"a", "m"}}},
        {"a { bumpmap b specularmap s } b { }", {{"a", ""}, {"b", ""}}},
        {"table sinTable { { 0, 1 } } skin s { a b } particle p { { material m } }\n"
         "entityDef e { \"model\" \"m\" } model md5 { mesh { } } MATERIAL m { diffusemap d }\n"
         "Guide g { } table { diffusemap t } c { }",
         {{"m", "d"}, {"table", "t"}, {"c", ""}}},
        {"a { diffusemap makeIntensity(x) } b { { map addnormals ( heightmap ( h , 2 ) , n ) } }"
         " c { qer_editorimage scale(s, 1, 1, 1, 1) } d { diffusemap add(f(), g) }"
         " e { diffusemap addnormals(\n\theightmap(h2,\n 3),\n n) }",
         {{"a", "x"}, {"b", "h"}, {"c", "s"}, {"d", "g"}, {"e", "h2"}}},
        {"a { { map _currentRender } } b { { map $lightmap } } c { { zeroclamp map m clamp } }",
         {{"a", "_currentRender"}, {"b", "$lightmap"}, {"c", "m"}}},
        {"\"my mat\" /* { */ { diffusemap \"my image.tga\" // }\n }", {{"my mat", "my image.tga"}}},
        {"A { DIFFUSEMAP D } b { { BLEND DiffuseMap MAP M } { map n } }", {{"A", "D"}, {"b", "M"}}},
        {"a { diffusemap x } a { diffusemap y } b { diffusemap b }",
         {{"a", "x"}, {"a", "y"}, {"b", "b"}}},
        {"a { diffusemap\n qer_editorimage e } b { { map\n m } }", {{"a", "e"}, {"b", ""}}},
        {"a { { map f(x } } b { { { map m } } } c { { blend bumpmap { map b } } }",
         {{"a", "x"}, {"b", "m"}, {"c", ""}}},
        {"{ diffusemap d } } a { diffusemap e } ( b { diffusemap f } \"\" { diffusemap g }",
         {{"a", "e"}, {"b", "f"}}},
        {"guide g t(x) c { diffusemap d }", {{"c", "d"}}},
        {"a { { blend diffusemap map m", {{"a", "m"}}},
        {"a { diffusemap f(x", {{"a", "x"}}},
        {std::string("a\0{\0diffusemap\0d\0}", 18), {{"a", "d"}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parsed(c.text), c.expected);
    }
}

TEST(Material, HostileTextEndsCleanly)
{
    std::string huge(10 << 20, 'n');
    EXPECT_EQ(parsed("a { diffusemap " + huge + " }"), (Pairs{{"a", huge}}));
    constexpr size_t deep = 100000;
    std::string braces = "a " + std::string(deep, '{') + "map m" + std::string(deep, '}');
    std::string parens = "c { diffusemap ";
    for (size_t i = 0; i < deep; i++)
        parens += "f(";
    parens += "x" + std::string(deep, ')') + "}";
    EXPECT_EQ(parsed(braces + parens + " b { diffusemap d }"),
              (Pairs{{"a", "m"}, {"c", "x"}, {"b", "d"}}));
    const struct {
        std::string_view unit;
        Pairs expected;
    } repeats[] = {
        {"{", {}},  {"}", {}},    {"(", {}},         {"/*", {}},
        {"\"", {}}, {"map ", {}}, {"table t {", {}}, {"a{{map f(", {{"a", "a"}}},
    };
    for (const auto& r : repeats) {
        std::string text;
        while (text.size() < 1 << 20)
            text += r.unit;
        EXPECT_EQ(parsed(text), r.expected) << r.unit;
    }
    std::mt19937 random(7);
    std::string garbage(1 << 20, '\0');
    for (char& c : garbage)
        c = char(random() % 16 == 0 ? "{}(),\"/* \n"[random() % 10] : random());
    std::vector<material_image> found;
    parse_materials(garbage, &found);
    for (const material_image& m : found) {
        EXPECT_FALSE(m.material.empty());
        EXPECT_TRUE(m.material.data() >= garbage.data() &&
                    m.image.data() + m.image.size() <= garbage.data() + garbage.size());
    }
}
