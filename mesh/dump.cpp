// The program's dumps: records built in one large buffer without printf.
// "%i" is to_chars' plain int form, and "%f" of a float is the float
// widened to double, rounded exactly to six decimals as printf rounds it.
#include "mesh/dump.h"

#include <cmath>
#include <cstdint>

#include "mesh/dump_driver.h"
#include "mesh/text_out.h"

static text_out dump_text;

// Room for the longest record: three reals of up to 47 characters each
// (the float maximum has 39 integer digits), an index and the labels.
constexpr size_t record_room = 256;

// A float has 24 significant bits and 10^6 needs 20, so the float times
// 10^6 is exact in a double; rounding it to an integer in the default
// rounding mode (to nearest, ties to even) is then the exact rounding that
// printf does. Values too large for that, infinities and NaNs go through
// to_chars, which writes the same digits and the same "inf" and "-nan".
static void put_real(float value)
{
    double scaled = std::fabs(double(value) * 1e6);
    if (!(scaled < 1e18)) {
        put_number(&dump_text, double(value), std::chars_format::fixed, 6);
        return;
    }
    uint64_t micros = uint64_t(std::nearbyint(scaled));
    if (std::signbit(value))
        put_char(&dump_text, '-');
    put_number(&dump_text, micros / 1000000);
    char* fraction = dump_text.text + dump_text.used;
    fraction[0] = '.';
    for (int k = 6, rest = int(micros % 1000000); k > 0; k--, rest /= 10)
        fraction[k] = char('0' + rest % 10);
    dump_text.used += 7;
}

// An index and three reals after their labels, then the record's end;
// inlined into each record kind, so that every label copies as a constant.
[[gnu::always_inline]] static inline void put_record(const std::string_view* labels, int i, const float* reals, std::string_view end)
{
    reserve_text(&dump_text, record_room);
    put_text(&dump_text, labels[0]);
    put_number(&dump_text, i);
    put_text(&dump_text, labels[1]);
    put_real(reals[0]);
    put_text(&dump_text, labels[2]);
    put_real(reals[1]);
    put_text(&dump_text, labels[3]);
    put_real(reals[2]);
    put_text(&dump_text, end);
}

struct buffered_writer {
    explicit buffered_writer(FILE* file) { dump_text.file = file; }

    void head(int max_faces)
    {
        put_text(&dump_text, "HEEEEEEEEELLLLO\n-----MAX_FACES = ");
        put_number(&dump_text, max_faces);
        put_char(&dump_text, '\n');
    }
    void vertex(int i, const float* p)
    {
        static constexpr std::string_view labels[] = {"vertex pos = ", "\n X=", "\n\t\t\t\tY=", "\n\tZ="};
        put_record(labels, i, p, "\n");
    }
    void face_normal(int i, const float* n)
    {
        static constexpr std::string_view labels[] = {"face num=", "\nX Comp = ", "\tY Comp = ", "\tZ Comp "};
        put_record(labels, i, n, "\n\n");
    }
    void vertex_normal(int i, const float* n)
    {
        static constexpr std::string_view labels[] = {"position = ", "\t x = ", "\t y = ", "\t z = "};
        put_record(labels, i, n, "\n");
    }
    void finish() { flush_text(&dump_text); }
};

void dump_vert()
{
    write_vertex_dump<buffered_writer>();
}

void dump_norm()
{
    write_face_normal_dump<buffered_writer>();
}

void dump_vnorm()
{
    write_vertex_normal_dump<buffered_writer>();
}
