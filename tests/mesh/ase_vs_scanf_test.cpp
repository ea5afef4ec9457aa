// The program's reader against the fscanf reader it replaces: for every
// input, the same store bit for bit, the same corner state and the stream
// left alike.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>

#include "mesh/scan.h"
#include "mesh_support.h"

// Parses the stream with both readers; returns the program reader's state.
static parse_result expect_same_parse_of(FILE* stream, const std::string& text = "")
{
    parse_result reference = parse_fresh(stream, parse_ase_scanf);
    parse_result program = parse_fresh(stream, parse_ase);
    fclose(stream);
    EXPECT_TRUE(program == reference) << "input: " << testing::PrintToString(text);
    return program;
}

static parse_result expect_same_parse(const std::string& text)
{
    return expect_same_parse_of(temp_stream(text), text);
}

// Exactly, so that infinities and signed zeros count.
static void expect_vertex_0(float x, float y, float z)
{
    EXPECT_EQ(vertex_list[0].xyz[0], x);
    EXPECT_EQ(vertex_list[0].xyz[1], y);
    EXPECT_EQ(vertex_list[0].xyz[2], z);
}

static void expect_same_file(const std::string& path)
{
    SCOPED_TRACE(path);
    FILE* f = fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(expect_same_parse_of(f).at_eof);
}

TEST(AseVsScanf, CorpusModels)
{
    SKIP_WITHOUT_CORPUS();
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus_path("ase"))) {
        expect_same_file(entry.path().string());
        files++;
    }
    EXPECT_GE(files, 7);
}

TEST(AseVsScanf, GeneratedKnots)
{
    ScratchFolder scratch;
    for (int faces : {1, 200, 7680, 100000}) {
        ASSERT_EQ(run_make_knot("knot.ase " + std::to_string(faces)), 0);
        expect_same_file("knot.ase");
        EXPECT_GT(MAX_FACES, faces * 9 / 10);
    }
}

// glibc's conversions as established against the real fscanf: the text is
// the first of three reals read "%f %f %f" (followed by " 7 8"), so the
// three values show what it stored and what it left in the stream.
TEST(AseVsScanf, RealConversionsAsGlibcDoesThem)
{
    const float inf = INFINITY;
    const struct { const char* text; float x, y, z; } cases[] = {
        {"1.5", 1.5f, 7, 8}, {"+.5", 0.5f, 7, 8}, {"5.", 5, 7, 8},
        {"1e", 1, 7, 8}, {"1e+", 1, 7, 8},  // strtof takes "1" of "1e": stored, e consumed
        {"1E3", 1000, 7, 8},
        {"1e5e5", 1e5f, 0, 0},  // a second e stays and stops the format
        {"1.5.5", 1.5f, 0.5f, 7},
        {"-", 0, 0, 0}, {"- 3", 0, 0, 0}, {".", 0, 0, 0},  // consumed, no value
        {"0x", 0, 0, 0},  // "0x" without digits fails after consuming
        {"0x.", 0, 7, 8}, {"0xg", 0, 0, 0}, {"0x1.8p3", 12, 7, 8}, {"0X1P-2", 0.25f, 7, 8},
        {"0x1p", 1, 7, 8},
        {"0x1e+3", 30, 3, 7},  // e is a hex digit; the + stays
        {"00x5", 0, 0, 0},     // only a leading 0x is a prefix
        {"inf", inf, 7, 8}, {"-Infinity", -inf, 7, 8},
        {"infx", inf, 0, 0},  // the x is pushed back
        {"infix", 0, 0, 0}, {"nax", 0, 0, 0}, {"1e39", inf, 7, 8}, {"-1e39", -inf, 7, 8},
        {"1e-46", 0, 7, 8}, {"0x1p-149", 1.40129846e-45f, 7, 8},
        {"3.4028235e38", 3.4028235e38f, 7, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        expect_same_parse(std::string("*MESH_NUMVERTEX 1\n*MESH_VERTEX 0 ") + c.text + " 7 8\n");
        expect_vertex_0(c.x, c.y, c.z);
    }
    for (const char* text : {"nan", "-NaN", "nan(12)"}) {
        SCOPED_TRACE(text);
        expect_same_parse(std::string("*MESH_NUMVERTEX 1\n*MESH_VERTEX 0 ") + text + " 7 8\n");
        EXPECT_TRUE(std::isnan(vertex_list[0].xyz[0]));
        EXPECT_EQ(std::signbit(vertex_list[0].xyz[0]), text[0] == '-');
        EXPECT_EQ(vertex_list[0].xyz[1], text[3] == '(' ? 0 : 7);  // "(12)" stays unread
    }
}

// What a failed conversion consumes, seen through a count keyword glued to
// the text: the keyword is read only if every byte before it was consumed.
TEST(AseVsScanf, WhatFailedConversionsConsume)
{
    const struct { const char* text; bool lost; } cases[] = {
        {"*MESH_VERTEX 0 infix", true},  // "infi" and the x
        {"*MESH_VERTEX 0 infx", false},  // inf, and the x pushed back
        {"*MESH_VERTEX 0 nax", true},
        {"*MESH_VERTEX 0 nan(", false},  // nan, the ( pushed back
        {"*MESH_VERTEX 0 0x", true}, {"*MESH_VERTEX 0 0xg", false}, {"*MESH_VERTEX 0 1e", true},
        {"*MESH_VERTEX 0 1e+", true}, {"*MESH_VERTEX 0 -", true}, {"*MESH_VERTEX 0 1 2 .", true},
        {"*MESH_VERTEX 0x", true}, {"*MESH_VERTEX -", true}, {"*MESH_VERTEX 0xg", false},
        {"*MESH_FACE 0: A:", true}, {"*MESH_FACE 0: A", true}, {"*MESH_FACE 0: B", false},
        {"*MESH_FACE 0:", true}, {"*MESH_FACE 0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        expect_same_parse(std::string("*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n") + c.text + "*MESH_NUMVERTEX 5\n");
        EXPECT_EQ(vertex_count, c.lost ? 5 : 1);
    }
}

// The same for "%i" on a vertex line: the index goes to v_pos and what it
// leaves is read as the position.
TEST(AseVsScanf, IntegerConversionsAsGlibcDoesThem)
{
    const struct { const char* text; int index; float x, y, z; } cases[] = {
        {"+5", 5, 1, 2, 3}, {"010", 8, 1, 2, 3},
        {"08", 0, 8, 1, 2},  // octal stops at 8
        {"0x1f", 31, 1, 2, 3}, {"-0X10", -16, 1, 2, 3},
        {"0x", 0, 1, 2, 3},  // x consumed, value 0
        {"0xg", 0, 0, 0, 0},
        {"-", 0, 1, 2, 3},  // consumed, index 0
        {"+-5", 0, -5, 1, 2},
        {"2147483648", INT32_MIN, 1, 2, 3},  // a long cut to int
        {"4294967301", 5, 1, 2, 3}, {"0x80000000", INT32_MIN, 1, 2, 3},
        {"99999999999999999999", -1, 1, 2, 3},   // LONG_MAX cut to int
        {"-99999999999999999999", 0, 1, 2, 3},  // LONG_MIN cut to int
        {"-9223372036854775808", 0, 1, 2, 3}, {"0777777777777777777777777", -1, 1, 2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        parse_result s = expect_same_parse(std::string("*MESH_NUMVERTEX 1\n*MESH_VERTEX ") + c.text + " 1 2 3\n");
        EXPECT_EQ(s.store.v_pos, c.index);
        // The position is stored only when the index names vertex 0.
        if (c.index == 0)
            expect_vertex_0(c.x, c.y, c.z);
    }
}

// Each template puts the text where one reader's conversion meets it, with
// a known line after it; with the text at the end of a file as well.
static std::vector<std::string> tricky_places(const std::string& t)
{
    const std::string head = "*MESH_NUMVERTEX 4\n*MESH_NUMFACES 3\n*MESH_NUMTVERTEX 3\n";
    const std::string tail = "\n*MESH_VERTEX 3 4 5 6\n*MESH_FACE 2: A: 1 B: 2 C: 3\n";
    const std::string places[] = {
        "*MESH_VERTEX 1 " + t + " 2 3", "*MESH_VERTEX " + t + " 2 3 4",
        "*MESH_FACE 0: A: " + t + " B: 1 C: 2", "*MESH_FACE 0: A: 1 B: " + t,
        "*MESH_FACE " + t + ": A: 1 B: 2 C: 3", "*MESH_FACE 1" + t + "A: 1 B: 2 C: 3",
        "*MESH_FACENORMAL " + t + " 1 2 3", "*MESH_FACENORMAL 1 0.5 " + t + " 3",
        "*MESH_VERTEXNORMAL " + t + " 1 2 3", "*MESH_VERTEXNORMAL 2 1 2 " + t,
        "*MESH_NUMTVERTEX " + t + " 1 2", "*MESH_NUMTVERTEX 2 " + t,
        "*MESH_TFACE " + t + " 1 2 3", "*MESH_TFACE 1 2 " + t + " 4",
        "*UVW_U_OFFSET " + t, "*UVW_V_OFFSET " + t + " 1",
        t + " *MESH_VERTEX 1 1 1 1", t + "*MESH_VERTEX 1 1 1 1", "junk " + t + " *MESH_VERTEX 1 1 1 1",
    };
    std::vector<std::string> inputs;
    for (const std::string& p : places) {
        inputs.push_back(head + p + tail);
        inputs.push_back(head + p);
    }
    return inputs;
}

TEST(AseVsScanf, TrickyTextInEveryPlace)
{
    for (const std::string& t : tricky_texts()) {
        // Counts that do not convert or are negative or huge end the process;
        // those are compared in the death test.
        bool count = !t.empty() && t.size() < 4 && std::isdigit(static_cast<unsigned char>(t[0]));
        for (const std::string& input : tricky_places(t))
            if (count || input.find("*MESH_NUMTVERTEX " + t) == std::string::npos)
                expect_same_parse(input);
    }
}

TEST(AseVsScanf, LongLinesAndTokens)
{
    const std::string after = "*MESH_NUMVERTEX 3\n*MESH_NUMFACES 2\n";
    for (int n : {253, 254, 255, 256, 257, 509, 510, 511}) {
        SCOPED_TRACE(n);
        // A skipped line of n characters after its token, newline included.
        expect_same_parse("junk" + std::string(n - 1, ' ') + "\n" + after);
        expect_same_parse("junk " + std::string(n - 2, 'x') + "\n" + after);
        expect_same_parse("junk " + std::string(n - 2, 'x') + after);
        // A token of n characters, followed by a space, a keyword or the end.
        expect_same_parse(std::string(n, 'x') + " " + after);
        expect_same_parse(std::string(n, 'x') + after);
        expect_same_parse(std::string(n, 'x'));
        expect_same_parse(after + std::string(n, 'x'));
        // A number of n digits.
        expect_same_parse("*MESH_NUMVERTEX 1\n*MESH_VERTEX 0 " + std::string(n, '1') + " 2 3\n");
        expect_same_parse("*MESH_NUMVERTEX 1\n*MESH_VERTEX 0 0." + std::string(n, '0') + "1 2 3\n");
    }
}

// The program reader reads ahead in blocks: numbers, tokens and skipped
// lines that straddle a block boundary, and input far larger than a block.
TEST(AseVsScanf, BlockBoundaries)
{
    const std::string line = "\t\t\t*MESH_VERTEXNORMAL 1\t0.123456\t-1.5e3\t7 AB: 1 BC: 2\n";
    std::string text = "*MESH_NUMVERTEX 3\n*MESH_NUMFACES 2\n";
    for (size_t pad = 0; text.size() < 3 * scan_block_size; pad = (pad + 7) % 61)
        text += std::string(pad, ' ') + line + std::string(pad, 'x') + "\n";
    expect_same_parse(text);
    for (size_t cut : {scan_block_size, scan_block_size - 255, 2 * scan_block_size + 3})
        expect_same_parse(text.substr(0, cut));
}

// Long numbers, read byte by byte, that begin within the last bytes of the
// first block and end in the next one.
TEST(AseVsScanf, NumbersAcrossTheFirstBlock)
{
    const size_t block = scan_block_size;
    const std::string numbers[] = {"0." + std::string(400, '0') + "1", std::string(300, '7'),
                                   "-" + std::string(200, '1') + "e-190"};
    const std::string places[] = {"*MESH_VERTEX 0 ", "*MESH_VERTEX ", "*MESH_FACE 0: A: "};
    for (size_t before : {65, 100, 200, 300})
        for (const std::string& place : places) {
            std::string text = "*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n";
            while (text.size() + 40 < block - before - place.size())
                text += "*MESH_VERTEX 0 1.5 2.5 3.5\n";
            text += std::string(block - before - place.size() - text.size(), ' ') + place;
            for (const std::string& n : numbers) {
                SCOPED_TRACE(testing::Message() << before << " " << place << n.substr(0, 10));
                ASSERT_EQ(text.size() + before, block);
                expect_same_parse(text + n + " 1 2 3 B: 5 C: 6\n*MESH_NUMVERTEX 2\n");
            }
        }
}

TEST(AseVsScanf, EndsOfFiles)
{
    const char* texts[] = {
        "", " ", "\n", "*MESH_NUMVERTEX", "*MESH_NUMVERTEX ", "*MESH_NUMVERTEX 3", "*MESH_NUMVERTEX 3\n",
        "*MESH_NUMVERTEX 3\n*MESH_VERTEX", "*MESH_NUMVERTEX 3\n*MESH_VERTEX 2 1 2 3",
        "*MESH_NUMVERTEX 3\n*MESH_VERTEX 2 1 2 3\n", "*MESH_NUMVERTEX 3\n*MESH_VERTEX 2 1 2 3 ",
        "*MESH_NUMVERTEX 3\n*MESH_VERTEX 2 1 2 3e", "*MESH_NUMVERTEX 3\n*MESH_VERTEX 2 1 2 inf",
        "*MESH_NUMVERTEX 3\n*MESH_VERTEX 2 1 2 nan", "*MESH_NUMVERTEX 3\n*MESH_VERTEX 2 1 2 -",
        "*MESH_NUMFACES 1\n*MESH_FACE 0", "*MESH_NUMFACES 1\n*MESH_FACE 0:", "*MESH_NUMFACES 1\n*MESH_FACE 0: A",
        "*MESH_NUMFACES 1\n*MESH_FACE 0: A: 1 B: 2 C: 3", "junk", "junk and more",
        "*MESH_NUMVERTEX 2\n*UVW_U_OFFSET 1.5", "*MESH_NUMVERTEX 2\n*MESH_NUMTVERTEX 1",
    };
    for (const char* text : texts)
        expect_same_parse(text);
}

// All short strings over the characters that steer the conversions, in the
// places of a real, an integer, a labelled corner and a token.
TEST(AseVsScanf, AllShortStrings)
{
    const std::string alphabet = "0x1e.+-n9: \nA";
    std::vector<std::string> strings = {""};
    for (size_t begin = 0, length = 0; length < 3; length++) {
        size_t end = strings.size();
        for (size_t i = begin; i < end; i++)
            for (char c : alphabet)
                strings.push_back(strings[i] + c);
        begin = end;
    }
    for (const std::string& s : strings) {
        expect_same_parse("*MESH_NUMVERTEX 2\n*MESH_VERTEX 1 " + s + " 5 6\n*MESH_VERTEX 0 1 2 3\n");
        expect_same_parse("*MESH_NUMVERTEX 2\n*MESH_VERTEX " + s + " 5 6 7\n");
        expect_same_parse("*MESH_NUMFACES 2\n*MESH_FACE 1" + s + " A: 4 B: 5 C: 6\n");
        expect_same_parse(s + "*MESH_NUMFACES 2 " + s);
    }
}

// Keyword soup from a seeded generator: keywords, headers and stray tokens,
// numbers of every form, separators and stray bytes. Count keywords always
// get a small count, so that no case ends the process.
static std::string keyword_soup(std::mt19937& rng)
{
    static const char* keywords[] = {
        "*MESH_VERTEX", "*MESH_FACE", "*MESH_TFACE", "*UVW_U_OFFSET", "*UVW_V_OFFSET", "*MESH_FACENORMAL",
        "*MESH_VERTEXNORMAL", "*MESH_VERTEX_LIST", "*MESH_FACE_LIST", "{", "}", "AB:", "*MESH_SMOOTHING",
    };
    static const char* counts[] = {"*MESH_NUMVERTEX", "*MESH_NUMFACES", "*MESH_NUMTVERTEX"};
    static const char* separators[] = {" ", "\t", "\n", "\r\n", "\v", "\f", ":", " A:", " B:\t", " C: ", ""};
    static const std::vector<std::string> numbers = tricky_texts();
    auto pick = [&](size_t n) { return size_t(rng() % n); };
    std::string text;
    int items = 1 + int(pick(60));
    for (int i = 0; i < items; i++) {
        size_t kind = pick(8);
        if (kind == 0)
            text += std::string(counts[pick(3)]) + separators[pick(3)] + std::to_string(pick(9));
        else if (kind <= 2)
            text += keywords[pick(std::size(keywords))];
        else if (kind <= 4)
            text += numbers[pick(numbers.size())];
        else if (kind == 5)
            text += std::to_string(int(rng() % 2000) - 1000) + "." + std::to_string(pick(100000));
        else if (kind == 6)
            text += char(rng());
        text += separators[pick(std::size(separators))];
    }
    return text;
}

TEST(AseVsScanf, RandomKeywordSoup)
{
    std::mt19937 rng(20240607);
    for (int i = 0; i < 3000; i++) {
        std::string text = keyword_soup(rng);
        // A count keyword glued to a number text makes a count from it.
        bool fatal_risk = false;
        for (const char* count : {"*MESH_NUMVERTEX", "*MESH_NUMFACES", "*MESH_NUMTVERTEX"})
            for (size_t at = text.find(count); at != std::string::npos; at = text.find(count, at + 1)) {
                size_t digit = text.find_first_not_of(" \t\r\n\v\f", at + strlen(count));
                fatal_risk |= digit == std::string::npos || !std::isdigit(static_cast<unsigned char>(text[digit])) ||
                              (digit + 1 < text.size() && std::isalnum(static_cast<unsigned char>(text[digit + 1])));
            }
        if (!fatal_risk)
            expect_same_parse(text);
    }
}

// A read error ends both readers as the end of input does.
TEST(AseVsScanf, ReadErrorEndsLikeEndOfInput)
{
    FILE* f = fopen(std::filesystem::temp_directory_path().c_str(), "r");
    ASSERT_NE(f, nullptr);
    expect_same_parse_of(f);
    EXPECT_TRUE(store_has_no_arrays());
}
