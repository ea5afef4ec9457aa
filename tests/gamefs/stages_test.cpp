// The material readers on inline blocks: what the engines' traps make of
// expressions, blends, stage order, coverage and sort, and the values of
// waves, frames and texture transforms at given times.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "gamefs/gamefs.h"
#include "gamefs/stages.h"

static game_material id4(const std::string& block, material_rules rules = material_rules::id_tech4,
                         const std::vector<material_table>& tables = {})
{
    return read_id_tech4_material("m", block, 10, rules, tables);
}

static game_material q3(const std::string& block)
{
    return read_quake3_shader("s", block, 1);
}

static float red_of(const game_material& m, float time = 0)
{
    expression_context context;
    context.time = time;
    context.tables = &m.tables;
    return evaluate(m.stages.at(0).color[0], context);
}

TEST(Stages, ExpressionsGroupAsTheEngineParsesThem)
{
    const std::vector<material_table> tables = {{"ramp", false, false, {0, 1}},
                                                {"steps", true, false, {0, 1}},
                                                {"edge", false, true, {0, 1}}};
    const struct {
        const char* rgb;
        float time, expected;
    } cases[] = {
        {"1 - 0.5 + 0.25", 0, 0.25f},
        {"8 / 4 / 2", 0, 4},
        {"7 % 3", 0, 1},
        {"7.9 % 3.9", 0, 1},
        {"5 % 0", 0, 0},
        {"2 * 3 + 1", 0, 7},
        {"1 + 2 * 3", 0, 7},
        {"(1 - 0.5) + 0.25", 0, 0.75f},
        {"time > 1", 2, 1},
        {"time >= 3", 2, 0},
        {"1 == 1 && 0", 0, 0},
        {"0 || 2 != 1", 0, 1},
        {"-0.5 + 1", 0, 0.5f},
        {"ramp[0.25]", 0, 0.5f},
        {"ramp[1.25]", 0, 0.5f},
        {"ramp[0.75]", 0, 0.5f},
        {"steps[0.75]", 0, 1},
        {"edge[2]", 0, 1},
        {"edge[-1]", 0, 0},
        {"RAMP[time*0.125]", 2, 0.5f},
        {"sinTable[0.25]", 0, 1},
        {"parm0 * 0.5", 0, 0.5f},
        {"1 / 0", 0, 0},
    };
    for (const auto& c : cases) {
        game_material m =
            id4(std::string("{ { map a rgb ") + c.rgb + " } }", material_rules::id_tech4, tables);
        ASSERT_FALSE(m.defaulted) << c.rgb << ": " << m.defaulted_why;
        EXPECT_NEAR(red_of(m, c.time), c.expected, 1e-5) << c.rgb;
    }
}

TEST(Stages, WhatTheEngineRefusesDefaultsTheMaterialAtItsLine)
{
    const struct {
        const char* block;
        int line;
        const char* why;
    } cases[] = {
        {"{\n{\nmap a\nrgb -time\n}\n}", 13, "\"-\" before \"time\", not a number"},
        {"{\n{\nblend foo\n}\n}", 12, "unknown blend mode \"foo\""},
        {"{ { blend GL_ONE GL_ZERO } }", 10, "missing \",\""},
        {"{ { scroll time 0 } }", 10, "missing \",\""},
        {"{ { rgb nosuch[1] } }", 10, "unknown term \"nosuch\""},
        {"{ { map heightmap(a 4) } }", 10, "missing \",\" in heightmap"},
        {"{ { rgb (1 } }", 10, "missing \")\""},
    };
    for (const auto& c : cases) {
        game_material m = id4(c.block);
        EXPECT_TRUE(m.defaulted) << c.block;
        EXPECT_EQ(m.defaulted_line, c.line) << c.block;
        EXPECT_EQ(m.defaulted_why, c.why) << c.block;
    }
    std::string deep = "{ { rgb " + std::string(40, '(') + "1" + std::string(40, ')') + " } }";
    EXPECT_TRUE(id4(deep).defaulted);
    std::string programs = "{ { map ";
    for (int i = 0; i < 40; i++)
        programs += "invertColor(";
    EXPECT_TRUE(id4(programs + "a" + std::string(40, ')') + " } }").defaulted);
}

TEST(Stages, BlendsOfBothFamilies)
{
    using B = blend_factor;
    const struct {
        const char *id4, *q3;
        B src, dst;
    } cases[] = {
        {"blend", "blend", B::src_alpha, B::one_minus_src_alpha},
        {"add", "add", B::one, B::one},
        {"filter", "filter", B::dst_color, B::zero},
        {"GL_DST_COLOR, GL_SRC_COLOR", "GL_DST_COLOR GL_SRC_COLOR", B::dst_color, B::src_color},
        {"gl_one_minus_dst_alpha, gl_src_alpha", "gl_one_minus_dst_alpha gl_src_alpha",
         B::one_minus_dst_alpha, B::src_alpha},
    };
    for (const auto& c : cases) {
        material_stage a = id4(std::string("{ { map x blend ") + c.id4 + " } }").stages.at(0);
        material_stage b = q3(std::string("{ { map x\nblendFunc ") + c.q3 + " } }").stages.at(0);
        EXPECT_TRUE(a.src == c.src && a.dst == c.dst && b.src == c.src && b.dst == c.dst) << c.id4;
        EXPECT_TRUE(b.blended && !b.depth_write) << c.q3;
    }
    material_stage unknown = q3("{ { map x\nblendFunc GL_FOO GL_ZERO } }").stages.at(0);
    EXPECT_TRUE(unknown.src == B::one && unknown.dst == B::zero && !unknown.blended &&
                unknown.depth_write);
    EXPECT_TRUE(q3("{ { map x\nblendFunc add\ndepthWrite } }").stages.at(0).depth_write);
}

static std::string kinds(const game_material& m)
{
    std::string out;
    for (const material_stage& s : m.stages)
        out += std::string(out.empty() ? "" : " ") +
               (s.kind == stage_kind::bump       ? "b"
                : s.kind == stage_kind::diffuse  ? "d"
                : s.kind == stage_kind::specular ? "s"
                                                 : "u") +
               ":" + s.image.name;
    return out;
}

TEST(Stages, ImplicitStagesAndGroups)
{
    const struct {
        const char* block;
        material_rules rules;
        const char* expected;
    } cases[] = {
        {"{ diffusemap d }", material_rules::id_tech4, "b:_flat d:d"},
        {"{ bumpmap n }", material_rules::id_tech4, "b:n d:_white"},
        {"{ bumpmap n }", material_rules::dark_mod, "b:n"},
        {"{ { map g blend add } }", material_rules::id_tech4, "u:g"},
        {"{ specularmap s diffusemap d bumpmap n }", material_rules::id_tech4, "b:n d:d s:s"},
        {"{ diffusemap d1 bumpmap n1 specularmap s1 bumpmap n2 diffusemap d2 }",
         material_rules::id_tech4, "b:n1 d:d1 s:s1 b:n2 d:d2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kinds(id4(c.block, c.rules)), c.expected) << c.block;
    EXPECT_EQ(kinds(implicit_material("t", material_rules::id_tech4)), "b:_flat d:t");
    EXPECT_EQ(implicit_material("t", material_rules::quake3).stages.at(0).rgb,
              color_source::lighting_diffuse);
}

TEST(Stages, CoverageAndSortDefaults)
{
    using C = material_coverage;
    const struct {
        const char* block;
        bool quake3;
        C coverage;
        float sort;
    } cases[] = {
        {"{ diffusemap d }", false, C::opaque, 0},
        {"{ }", false, C::translucent, 4},
        {"{ { map g blend add } }", false, C::translucent, 4},
        {"{ { map g } }", false, C::opaque, 0},
        {"{ { map g blend gl_dst_color, gl_zero } }", false, C::translucent, 4},
        {"{ { map g alphaTest 0.5 } }", false, C::perforated, 0},
        {"{ translucent diffusemap d }", false, C::translucent, 4},
        {"{ polygonOffset\ndiffusemap d }", false, C::opaque, 2},
        {"{ sort nearest diffusemap d }", false, C::opaque, 7},
        {"{ { map _currentRender } }", false, C::translucent, 100},
        {"{ { map a } { map b\nblendFunc add } }", true, C::opaque, 3},
        {"{ { map a\nblendFunc blend } }", true, C::translucent, 9},
        {"{ { map a\nblendFunc blend\ndepthWrite } }", true, C::translucent, 5},
        {"{ polygonOffset\n{ map a } }", true, C::opaque, 4},
        {"{ sort additive\n{ map a } }", true, C::opaque, 10},
        {"{ { map a\nalphaFunc GE128 } }", true, C::perforated, 3},
    };
    for (const auto& c : cases) {
        game_material m = c.quake3 ? q3(c.block) : id4(c.block);
        EXPECT_EQ(m.coverage, c.coverage) << c.block;
        EXPECT_EQ(m.sort, c.sort) << c.block;
    }
}

TEST(Stages, WavesAsTheRendererTablesGiveThem)
{
    auto byte = [](float v) { return int(std::floor(255 * std::clamp(v, 0.0f, 1.0f))); };
    game_material m = q3("{ { map a\nrgbGen wave sin 0.5 0.5 0 1 } }");
    ASSERT_EQ(m.stages.at(0).rgb, color_source::wave);
    EXPECT_TRUE(m.animated);
    const material_wave& sine = m.stages[0].rgb_wave;
    EXPECT_EQ(byte(wave_value(sine, 0)), 127);
    EXPECT_EQ(byte(wave_value(sine, 0.25f)), 254);
    EXPECT_EQ(byte(wave_value(sine, 0.75f)), 0);
    EXPECT_FLOAT_EQ(wave_value({wave_function::triangle, 0, 1, 0, 1}, 0.125f), 0.5f);
    EXPECT_EQ(wave_value({wave_function::square, 0, 1, 0, 1}, 0.25f), 1);
    EXPECT_EQ(wave_value({wave_function::square, 0, 1, 0, 1}, 0.75f), -1);
    EXPECT_EQ(wave_value({wave_function::sawtooth, 0, 1, 0, 1}, -0.25f), 0.75f);
    float noise = wave_value({wave_function::noise, 0, 1, 0, 3}, 1.3f);
    EXPECT_TRUE(noise >= -1 && noise <= 1);
    EXPECT_EQ(wave_value({wave_function::sin, 1, 1, 0, 1e30f}, 1e30f), 1);
}

TEST(Stages, AnimMapFrames)
{
    material_stage stage = q3("{ { animMap 2 a b c } }").stages.at(0);
    ASSERT_EQ(stage.frames.size(), 3u);
    const std::pair<float, const char*> cases[] = {
        {0.4f, "a"}, {0.6f, "b"}, {1.2f, "c"}, {1.6f, "a"}, {-1, "a"}};
    for (auto [time, frame] : cases)
        EXPECT_EQ(stage.frames[animation_frame(stage, time)].name, frame) << time;
    EXPECT_EQ(q3("{ { animMap 1 a b c d e f g h i j } }").stages.at(0).frames.size(), 8u);
}

static float s_at(const material_stage& stage, float time, float s = 0.25f)
{
    expression_context context;
    context.time = time;
    float st[2] = {s, 0}, position[3] = {};
    stage_texture_coordinates(stage, context, position, st);
    return st[0];
}

TEST(Stages, TextureTransformsInEachEnginesOrder)
{
    material_stage id = id4("{ { map a scale 2, 2 translate 0.25, 0 } }").stages.at(0);
    EXPECT_FLOAT_EQ(s_at(id, 0), 2 * 0.25f + 0.5f);
    material_stage mods = q3("{ { map a\ntcMod scale 2 2\ntcMod scroll 0.25 0 } }").stages.at(0);
    EXPECT_FLOAT_EQ(s_at(mods, 1), 2 * 0.25f + 0.25f);
    material_stage scroll = q3("{ { map a\ntcMod scroll 0.5 0 } }").stages.at(0);
    EXPECT_FLOAT_EQ(s_at(scroll, 1), 0.75f);
    EXPECT_NEAR(s_at(scroll, 3.2f), 0.85f, 1e-5);
    material_stage timed = id4("{ { map a scroll time * 0.5, 0 } }").stages.at(0);
    EXPECT_FLOAT_EQ(s_at(timed, 1), 0.75f);
    material_stage fixed = id4("{ { map a scroll 0.5, 0 } }").stages.at(0);
    EXPECT_FLOAT_EQ(s_at(fixed, 1), 0.75f);
    EXPECT_FLOAT_EQ(s_at(fixed, 7), 0.75f);
    EXPECT_TRUE(id4("{ { map a scroll time * 0.5, 0 } }").animated);
    EXPECT_FALSE(id4("{ { map a scroll 0.5, 0 } }").animated);
}

TEST(Stages, AlphaTestsAndDaemonMaps)
{
    game_material tested = id4("{ { blend diffusemap map d alphaTest 0.5 } }");
    const material_stage& diffuse = tested.stages.at(1);
    EXPECT_EQ(diffuse.alpha_test, alpha_function::greater_than_expression);
    EXPECT_FLOAT_EQ(evaluate(diffuse.alpha_threshold, {}), 0.5f);
    const std::pair<const char*, alpha_function> functions[] = {{"GT0", alpha_function::gt0},
                                                                {"lt128", alpha_function::lt128},
                                                                {"GE128", alpha_function::ge128}};
    for (auto [name, function] : functions)
        EXPECT_EQ(q3(std::string("{ { map a\nalphaFunc ") + name + " } }").stages.at(0).alpha_test,
                  function);

    game_material daemon = q3("{ { diffuseMap d\nnormalMap n\nspecularMap s\nglowMap g } }");
    EXPECT_EQ(kinds(daemon), "b:n d:d s:s u:g");
    for (const material_stage& s : daemon.stages)
        EXPECT_TRUE(s.daemon);
    EXPECT_TRUE(daemon.stages[3].src == blend_factor::one &&
                daemon.stages[3].dst == blend_factor::one);
    EXPECT_EQ(kinds(q3("{ diffuseMap d\n{ map $lightmap\nblendFunc filter } }")),
              "b:_flat d:d u:$lightmap");
    EXPECT_EQ(kinds(q3("{ { map d\nblend diffuseMap } }")), "b:_flat d:d");
    EXPECT_EQ(stage_summary(daemon), "diffuse bump specular +glow");

    // normalFormat in OpenGL's axes (Y up) against the games' (Y down), in a
    // stage or for the shader's own maps; what it does not know is ignored.
    const std::pair<const char*, std::array<int, 3>> formats[] = {
        {"{ { normalMap n\nnormalFormat X Y Z } }", {1, -1, 1}},
        {"{ { normalFormat -x -Y z\nnormalMap n } }", {-1, 1, 1}},
        {"{ { normalMap n\nnormalFormat Y Q -Z } }", {1, 1, -1}},
        {"{ normalFormat X Y Z\nnormalMap n\n}", {1, -1, 1}},
        {"{ normalFormat X Y Z\n{ normalMap n } }", {1, 1, 1}},
    };
    for (const auto& [shader, axes] : formats) {
        game_material m = q3(shader);
        const int8_t* read = m.stages.at(0).normal_axes;
        EXPECT_EQ((std::array<int, 3>{read[0], read[1], read[2]}), axes) << shader;
    }
}

TEST(Stages, HostileMaterialsStayBounded)
{
    std::string block = "{\n";
    for (int i = 0; i < 10000; i++)
        block += "{ map a rgb time red time * 2 if time > 0 scroll time, time alphaTest time }\n";
    block += "}";
    game_material m = id4(block);
    EXPECT_FALSE(m.defaulted);
    EXPECT_EQ(m.stages.size(), 256u);
    EXPECT_TRUE(m.animated);
    std::string shader = "{\n";
    for (int i = 0; i < 10000; i++)
        shader += "{ map a\nrgbGen wave sin 0 1 0 1\ntcMod scroll 1 1\ntcMod scroll 1 1\ntcMod "
                  "scroll 1 1\n"
                  "tcMod scroll 1 1\ntcMod scroll 1 1 }\n";
    game_material s = q3(shader + "}");
    EXPECT_EQ(s.stages.size(), 256u);
    EXPECT_EQ(s.stages[0].transforms.size(), 4u);
    std::string chain = "{ { rgb 1";
    for (int i = 0; i < 100000; i++)
        chain += " + 1";
    EXPECT_TRUE(id4(chain + " } }").defaulted);
    EXPECT_FALSE(id4("{ { map a } ").defaulted);
}

TEST(Stages, TablesAsDeclared)
{
    std::vector<material_table> tables;
    read_material_tables(
        "table t1 { snap { 1, 2, 3 } } material x { { map a } } table t2 { clamp { -1, .5 } }",
        &tables);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_TRUE(tables[0].snap && !tables[0].clamp);
    EXPECT_EQ(tables[0].values, (std::vector<float>{1, 2, 3}));
    EXPECT_TRUE(tables[1].clamp);
    EXPECT_EQ(tables[1].values, (std::vector<float>{-1, 0.5f}));
}

static void put(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

TEST(Stages, TreeGivesEachDeclarationItsBlockLineTablesAndRules)
{
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("stages_test_" + std::to_string(getpid()));
    fs::remove_all(root);
    put(root / "base/materials/a.mtr",
        "table half { { 0.5, 0.5 } }\n\n// lamp\nmodels/lamp\n{\n\t{ map lamp rgb half[time] }\n}\n"
        "table half { { 9 } }\nmodels/unclosed { { map x }\n");
    std::unique_ptr<game_fs> tree = game_fs_open((root / "base/models/m.ase").string());
    EXPECT_EQ(tree->rules, material_rules::id_tech4);
    ASSERT_EQ(tree->scripts.tables.size(), 1u);
    texture_lookup lamp = game_fs_find_texture(*tree, "models/lamp");
    EXPECT_EQ(lamp.block, "{\n\t{ map lamp rgb half[time] }\n}");
    EXPECT_EQ(lamp.first_line, 5);
    EXPECT_FALSE(lamp.shader);
    EXPECT_EQ(lamp.source, (root / "base/materials/a.mtr").string());
    game_material material = game_fs_material(*tree, lamp);
    EXPECT_FLOAT_EQ(red_of(material), 0.5f);
    EXPECT_EQ(game_fs_find_texture(*tree, "models/unclosed").block, "{ { map x }\n");
    EXPECT_EQ(kinds(game_fs_material(*tree, game_fs_find_texture(*tree, "models/none"))),
              "b:_flat d:models/none");
    put(root / "base/darkmod.txt", "");
    EXPECT_EQ(game_fs_open((root / "base/models/m.ase").string())->rules, material_rules::dark_mod);
    fs::remove_all(root);
}
