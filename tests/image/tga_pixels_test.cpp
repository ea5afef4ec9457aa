// The two pixel readers on hand-made packet streams.
#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>

#include "tests/image/tga_test_support.h"

namespace {

struct Calls {
    std::vector<int> returned;
    std::vector<long> positions;  // stream position after each call
    Bytes delivered;              // the counted elements of every call, in order
    std::string out;              // what the calls printed
};

const uint8_t guard = 0xEE;

// Runs one request per entry against the same state, like the rows of an
// image, from a fresh reader state at the given message level.
Calls read_rle(const Bytes& data, int element_size, const std::vector<int>& requests,
               RleState* state, unsigned level = 0)
{
    tga_reset_state();
    tga_verbosity = level;
    Calls calls;
    FILE* stream = memory_stream(data);
    calls.out = capture_stdout([&] {
        for (int count : requests) {
            Bytes row(element_size * count + 16, guard);
            int n = rle_fread(state, row.data(), element_size, count, stream);
            for (size_t i = element_size * count; i < row.size(); i++)
                EXPECT_EQ(row[i], guard) << "written past the request at " << i;
            calls.returned.push_back(n);
            calls.positions.push_back(ftell(stream));
            calls.delivered.insert(calls.delivered.end(), row.begin(),
                                   row.begin() + element_size * n);
        }
    });
    fclose(stream);
    return calls;
}

Bytes repeat(const Bytes& element, int times)
{
    Bytes out;
    for (int i = 0; i < times; i++)
        out.insert(out.end(), element.begin(), element.end());
    return out;
}

Bytes counting(int n)
{
    Bytes out(n);
    std::iota(out.begin(), out.end(), 0);
    return out;
}

struct RleCase {
    const char* name;
    Bytes data;
    int element_size;
    std::vector<int> requests;
    std::vector<int> returned;
    std::vector<long> positions;
    Bytes delivered;
    int held_after;  // bytes still waiting in the state
};

const RleCase rle_cases[] = {
    {"raw packet of one", {0x00, 'a'}, 1, {1}, {1}, {2}, {'a'}, 0},
    {"raw packet of 128", concat({{0x7F}, counting(128)}), 1, {128}, {128}, {129}, counting(128), 0},
    {"run of one", {0x80, 1, 2, 3}, 3, {1}, {1}, {4}, {1, 2, 3}, 0},
    {"run of 128 four-byte elements", {0xFF, 1, 2, 3, 4}, 4, {128}, {128}, {5}, repeat({1, 2, 3, 4}, 128), 0},
    {"run of one-byte elements", {0x83, 9}, 1, {4}, {4}, {2}, {9, 9, 9, 9}, 0},
    {"run of 128 over requests of 100 and 28", {0xFF, 7, 8, 9, 0x00, 1, 2, 3}, 3, {100, 28}, {100, 28}, {4, 4},
     repeat({7, 8, 9}, 128), 0},
    {"run of 128 leaves 28 held", {0xFF, 7, 8, 9}, 3, {100}, {100}, {4}, repeat({7, 8, 9}, 100), 28 * 3},
    {"run across several row ends", {0x89, 5}, 1, {3, 3, 3, 1}, {3, 3, 3, 1}, {2, 2, 2, 2}, repeat({5}, 10), 0},
    {"raw packet across a row end", {0x04, 'a', 'b', 'c', 'd', 'e', 0x00, 'f'}, 1, {3, 3}, {3, 3}, {6, 8},
     {'a', 'b', 'c', 'd', 'e', 'f'}, 0},
    {"several packets in one row", {0x81, 1, 2, 3, 4, 0x00, 5, 6, 7, 8}, 4, {3}, {3}, {10},
     {1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8}, 0},
    {"stream ends before a header byte", {0x81, 1}, 1, {5}, {2}, {2}, {1, 1}, 0},
    {"stream ends inside a raw packet", {0x00, 'a', 0x03, 'b', 'c'}, 1, {5}, {1}, {5}, {'a'}, 0},
    {"stream ends inside a run packet", {0x80, 1, 2, 3, 0x81, 4, 5}, 3, {5}, {1}, {7}, {1, 2, 3}, 0},
    {"request of nothing", {0x00, 'a'}, 1, {0}, {0}, {0}, {}, 0},
};

class RleRead : public testing::TestWithParam<RleCase> {};

TEST_P(RleRead, DeliversPacketsAcrossRequests)
{
    const RleCase& c = GetParam();
    RleState state = {};
    Calls calls = read_rle(c.data, c.element_size, c.requests, &state);
    EXPECT_EQ(calls.returned, c.returned);
    EXPECT_EQ(calls.positions, c.positions);
    EXPECT_EQ(calls.delivered, c.delivered);
    EXPECT_EQ(state.filled - state.consumed, c.held_after);
    EXPECT_TRUE(state.consumed < state.filled || (state.consumed == 0 && state.filled == 0));
    EXPECT_EQ(calls.out, "") << "level 0 is silent";
    EXPECT_EQ(tga_total_bytes, 0);
    free(state.buffer);
}

INSTANTIATE_TEST_SUITE_P(Packets, RleRead, testing::ValuesIn(rle_cases),
                         [](const testing::TestParamInfo<RleCase>& info) {
                             return param_name(info.param.name);
                         });

TEST(RleRead, PacketEndingAtTheRowEndIsNotBuffered)
{
    RleState state = {};
    Calls calls = read_rle({0x02, 'a', 'b', 'c', 0x80, 'd'}, 1, {3, 1}, &state);
    EXPECT_EQ(calls.positions, (std::vector<long>{4, 6}));
    EXPECT_EQ(calls.delivered, (Bytes{'a', 'b', 'c', 'd'}));
    EXPECT_EQ(state.buffer, nullptr);
}

TEST(RleRead, EndOfDataMessages)
{
    struct { Bytes data; int element_size; const char* message; } cases[] = {
        {{0x81, 1}, 1, "TGA: hit EOF while looking for count\n"},
        {{0x00, 'a', 0x03, 'b', 'c'}, 1, "TGA: EOF while reading 4/1 element raw packet\n"},
        {{0x81, 4, 5}, 3, "TGA: EOF while reading 6/3 element RLE packet\n"},
    };
    for (const auto& c : cases) {
        RleState state = {};
        EXPECT_EQ(read_rle(c.data, c.element_size, {5}, &state, 1).out, c.message);
        EXPECT_EQ(tga_total_bytes, 0) << "level 1 keeps no total";
        free(state.buffer);
    }
    tga_reset_state();
}

TEST(RleRead, DiagnosticsAtLevelsTwoAndThree)
{
    // Row one takes 3 of a run of 4; row two the held one and a raw packet of 2.
    const Bytes data = {0x83, 7, 0x01, 8, 9};
    const char* expected[] = {
        "TGA: rle_fread 3/4 (total 4)\n"
        "TGA: rle_fread 3/2 (total 6)\n",
        "TGA: RLE packet 4/4\n"
        "TGA: rle_fread 3/4 (total 4)\n"
        "TGA: raw packet 2/6\n"
        "TGA: rle_fread 3/2 (total 6)\n",
    };
    for (unsigned level = 2; level <= 3; level++) {
        RleState state = {};
        Calls calls = read_rle(data, 1, {3, 3}, &state, level);
        EXPECT_EQ(calls.out, expected[level - 2]);
        EXPECT_EQ(calls.delivered, (Bytes{7, 7, 7, 7, 8, 9}));
        EXPECT_EQ(tga_total_bytes, 6);
        free(state.buffer);
    }
    tga_reset_state();
}

const Bytes seven = {1, 2, 3, 4, 5, 6, 7};

TEST(StdRead, ReturnsWholeElementsOnly)
{
    tga_reset_state();
    FILE* stream = memory_stream(seven);
    Bytes row(9, guard);
    int n = 0;
    std::string out = capture_stdout([&] { n = std_fread(nullptr, row.data(), 3, 3, stream); });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(Bytes(row.begin(), row.begin() + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(out, "");
    EXPECT_EQ(std_fread(nullptr, row.data(), 3, 0, stream), 0);
    fclose(stream);
}

TEST(StdRead, CountsRequestedBytesAtLevelTwo)
{
    tga_reset_state();
    tga_verbosity = 2;
    FILE* stream = memory_stream(seven);
    Bytes row(9);
    std::string out = capture_stdout([&] {
        std_fread(nullptr, row.data(), 1, 4, stream);
        std_fread(nullptr, row.data(), 3, 3, stream);
    });
    EXPECT_EQ(out, "TGA: std_fread 4 (total 4)\nTGA: std_fread 9 (total 13)\n");
    EXPECT_EQ(tga_total_bytes, 13);
    fclose(stream);
    tga_reset_state();
}

}  // namespace
