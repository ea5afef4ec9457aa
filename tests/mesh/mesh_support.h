// Shared helpers of the mesh tests: corpus paths, parsing inline text and
// texts that steer every conversion.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mesh/store_snapshot.h"
#include "tests/support/corpus.h"
#include "tests/support/files.h"

inline std::string corpus(const char* name)
{
    return corpus_path(std::string("ase/") + name);
}

// Parses `text` from a fresh reader.
inline void parse_text(const std::string& text)
{
    reset_ase_reader();
    FILE* f = temp_stream(text);
    parse_ase(f);
    fclose(f);
}

inline bool store_has_no_arrays()
{
    return !vertex_list && !face_list && !tface_list && !tvert_list;
}

inline const store_snapshot empty_store = {"", "", "", "", 0, 0, 0, 0, 0, 0};

// Loads a corpus model from a fresh reader.
inline void load_corpus(const char* name)
{
    reset_ase_reader();
    load_model(corpus(name).c_str());
}

#ifdef MAKE_KNOT
// The generator's exit status, its output discarded.
inline int run_make_knot(const std::string& args)
{
    int status = std::system((std::string(MAKE_KNOT) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// Texts that exercise every conversion, the token and the line skip: signs,
// C prefixes, exponents, inf and nan, overflow, long and NUL-holding texts,
// whitespace of every kind and bytes beyond ASCII.
inline std::vector<std::string> tricky_texts()
{
    return {
        "1", "-1", "+1", "--1", "+-1", "-+1", "0", "-0", "+0", "010", "08", "09", "0x1F", "0X1f", "-0x10",
        "0x", "0X", "0x ", "0xg", "0x:", "00x5", "2147483647", "2147483648", "-2147483649", "4294967296",
        "9223372036854775807", "9223372036854775808", "-9223372036854775809", "0x7fffffffffffffffff",
        "99999999999999999999999999", ".5", "5.", "-.5", ".", "-.", ".e5", "1e", "1e+", "1e-", "1E5", "1e+5",
        "1e5e5", "1e+-5", "-", "+", "- 1", "inf", "-inf", "INF", "infinity", "InFiNiTy", "infinit", "infx",
        "infix", "in", "i", "nan", "-nan", "NAN", "nan(12)", "nan()", "na", "nax", "n", "0x1.8p3", "0x1p",
        "0x1p-", "0X1P+3", "0x.8", "0x.p1", "0xp1", "0x1e+3", "0xAe3", "1e-45", "1e-46", "7e-46", "1.4e-45",
        "1e-38", "1.1754942e-38", "3.4028235e38", "3.4028236e38", "3.5e38", "1e39", "-1e39", "1e-400",
        "1e400", "0x1p-149", "0x1p-150", "0x1p128", "0x1.fffffep127", "0x1.ffffffp127",
        "0.3333333333333333333333333333333333", "16777217", "16777216.5", "0.1000000000000000055511151231",
        std::string(300, '9'), "0." + std::string(400, '0') + "1", "1" + std::string(80, '0'),
        "0x" + std::string(100, 'f'), std::string(70, '1') + "." + std::string(70, '2'),
        std::string("1\0 2", 4), std::string("\0", 1), std::string("*MESH_VERTEX\0junk 1 2 3", 23),
        "1\r", "\r\n", "\v1\f2", "1\v2\f3", "\xa0" "1", "1\xa0", "A:", "A: 1", ":", "::", "A:\tB:",
        "abcdefgh\x01ijklmnop\x1f" "qrstuvwx\x7f\x80\xff!yz", "*MESH_VERTEX\x01", "*MESH_VERTEX\x1f 1 2 3",
    };
}
