#include <gtest/gtest.h>

#include "image/tga.h"
#include "tests/tools/run_tool.h"

static const std::string tool = MAKE_TEXTURE;

TEST(MakeTexture, AnswersOrRefusesArguments)
{
    ScratchFolder scratch;
    std::string usage = run_tool(tool + " --help").out;
    ASSERT_EQ(usage.rfind("usage: make_texture OUT.tga\n", 0), 0u);
    const struct { const char* args; int status; } cases[] = {
        {"--help", 0}, {"-h", 0}, {"map2.tga -h", 0}, {"--bogus", 2}, {"-o map2.tga", 2},
        {"map2.tga -", 2}, {"", 2}, {"a.tga b.tga", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        expect_answered_without_writing(tool + " " + c.args, c.status, usage);
    }
    tool_result r = run_tool(tool + " /nonexistent/dir/map2.tga");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("/nonexistent/dir/map2.tga"), std::string::npos);
}

// The texture the viewer loads by default, as its own reader sees it.
TEST(MakeTexture, WritesTheDefaultTexture)
{
    ScratchFolder scratch;
    tool_result r = run_tool(tool + " map2.tga");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    FILE* f = fopen("map2.tga", "rb");
    ASSERT_NE(f, nullptr);
    TgaImage* image = tga_read(f, "map2.tga", 1);
    fclose(f);
    ASSERT_NE(image, nullptr) << tga_error_text;
    EXPECT_EQ(image->width, 256);
    EXPECT_EQ(image->height, 256);
    EXPECT_EQ(image->format, GLenum(GL_BGRA_EXT));
    tga_free(image);
}
