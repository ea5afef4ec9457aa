#include "mesh/dump.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include "mesh/store.h"

// A dump is built in one large buffer that goes out with fwrite. Numbers
// are formatted without printf: "%i" is to_chars' plain int form, and "%f"
// of a float is the float widened to double, rounded exactly to six
// decimals as printf rounds it.
static FILE* dump_file;
static char dump_text[1 << 20];
static size_t dump_used;

// Room for the longest record: three reals of up to 47 characters each
// (the float maximum has 39 integer digits), an index and the labels.
constexpr size_t record_room = 256;

static void flush_dump()
{
    fwrite(dump_text, 1, dump_used, dump_file);
    dump_used = 0;
}

static void make_room()
{
    if (sizeof dump_text - dump_used < record_room)
        flush_dump();
}

static void put(std::string_view s)
{
    memcpy(dump_text + dump_used, s.data(), s.size());
    dump_used += s.size();
}

static void put_int(int value)
{
    dump_used = std::to_chars(dump_text + dump_used, std::end(dump_text), value).ptr - dump_text;
}

static void put_int64(uint64_t value)
{
    dump_used = std::to_chars(dump_text + dump_used, std::end(dump_text), value).ptr - dump_text;
}

// A float has 24 significant bits and 10^6 needs 20, so the float times
// 10^6 is exact in a double; rounding it to an integer in the default
// rounding mode (to nearest, ties to even) is then the exact rounding that
// printf does. Values too large for that, infinities and NaNs go through
// to_chars, which writes the same digits and the same "inf" and "-nan".
static void put_real(float value)
{
    double scaled = std::fabs(double(value) * 1e6);
    if (!(scaled < 1e18)) {
        dump_used = std::to_chars(dump_text + dump_used, std::end(dump_text), double(value),
                                  std::chars_format::fixed, 6).ptr - dump_text;
        return;
    }
    uint64_t micros = uint64_t(std::nearbyint(scaled));
    if (std::signbit(value))
        put("-");
    put_int64(micros / 1000000);
    char* fraction = dump_text + dump_used;
    fraction[0] = '.';
    for (int k = 6, rest = int(micros % 1000000); k > 0; k--, rest /= 10)
        fraction[k] = char('0' + rest % 10);
    dump_used += 7;
}

static void close_dump()
{
    flush_dump();
    fclose(dump_file);
}

// v_pos is the index of the last vertex line, not a count, so the list runs
// up to and including it; it is still bounded by the array itself.
void dump_vert()
{
    printf("************ vertex dump *********\n");
    dump_file = fopen("dump.txt", "w+");
    if (dump_file) {
        put("HEEEEEEEEELLLLO\n-----MAX_FACES = ");
        put_int(MAX_FACES);
        put("\n");
    } else {
        printf("PROBLEM\n");
    }
    printf("v_pos = %i\n", v_pos);
    if (!dump_file)
        return;
    for (int i = 0; vertex_list && i <= v_pos && i < vertex_count; i++) {
        const float* p = vertex_list[i].xyz;
        make_room();
        put("vertex pos = ");
        put_int(i);
        put("\n X=");
        put_real(p[0]);
        put("\n\t\t\t\tY=");
        put_real(p[1]);
        put("\n\tZ=");
        put_real(p[2]);
        put("\n");
    }
    close_dump();
}

void dump_norm()
{
    dump_file = fopen("norm.txt", "w+");
    if (!dump_file) {
        printf("error in dump_norm()\n");
        exit(1);
    }
    printf("****** face data *********\n");
    for (int i = 0; face_list && i < MAX_FACES; i++) {
        const float* n = face_list[i].norm;
        make_room();
        put("face num=");
        put_int(i);
        put("\nX Comp = ");
        put_real(n[0]);
        put("\tY Comp = ");
        put_real(n[1]);
        put("\tZ Comp ");
        put_real(n[2]);
        put("\n\n");
    }
    close_dump();
}

void dump_vnorm()
{
    dump_file = fopen("vnorml.txt", "w+");
    if (!dump_file)
        return;
    for (int i = 0; vertex_list && i < vertex_count; i++) {
        const float* n = vertex_list[i].norm;
        make_room();
        put("position = ");
        put_int(i);
        put("\t x = ");
        put_real(n[0]);
        put("\t y = ");
        put_real(n[1]);
        put("\t z = ");
        put_real(n[2]);
        put("\n");
    }
    close_dump();
}
