// Arbitrary bytes through both ASE readers: the fscanf reference and the
// program's fast reader must store the same bits, leave the stream at the
// same place and end the process (a fatal allocation) alike. Any difference
// aborts.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "mesh/ase.h"
#include "mesh/store.h"

struct parse_result {
    bool returned;
    long position;
    bool at_eof;
    d_data* vertices;
    face_data* faces;
    tface_data* tfaces;
    tvert_data* tverts;
    int vertex_count, max_faces, tvert_count, v_pos, cur_face, vnorm_corner;
};

static long end_position;
static bool end_at_eof;

static void run_scanf(FILE* stream)
{
    parse_ase_scanf(stream);
    end_position = ftell(stream);
    end_at_eof = feof(stream);
}

static void run_fast(FILE* stream)
{
    parse_ase(stream);
    end_position = ftell(stream);
    end_at_eof = feof(stream);
}

// Parses from a fresh reader and takes the arrays over from the store (after
// a fatal exit too: the store never names a released array).
static parse_result parse_with(const unsigned char* data, size_t size, void (*run)(FILE*))
{
    parse_result r = {};
    r.returned = run_on_bytes(data, size, run);
    if (r.returned) {
        r.position = end_position;
        r.at_eof = end_at_eof;
    }
    r.vertices = vertex_list;
    r.faces = face_list;
    r.tfaces = tface_list;
    r.tverts = tvert_list;
    r.vertex_count = vertex_count;
    r.max_faces = MAX_FACES;
    r.tvert_count = tvert_count;
    r.v_pos = v_pos;
    r.cur_face = cur_face;
    r.vnorm_corner = vnorm_corner;
    vertex_list = nullptr;
    face_list = nullptr;
    tface_list = nullptr;
    tvert_list = nullptr;
    reset_ase_reader();
    return r;
}

static bool same_array(const void* a, const void* b, int count, size_t record_size)
{
    if (!a || !b)
        return a == b;
    return count <= 0 || memcmp(a, b, size_t(count) * record_size) == 0;
}

static bool same_result(const parse_result& a, const parse_result& b)
{
    return a.returned == b.returned && a.position == b.position && a.at_eof == b.at_eof &&
           a.vertex_count == b.vertex_count && a.max_faces == b.max_faces &&
           a.tvert_count == b.tvert_count && a.v_pos == b.v_pos && a.cur_face == b.cur_face &&
           a.vnorm_corner == b.vnorm_corner &&
           same_array(a.vertices, b.vertices, a.vertex_count, sizeof(d_data)) &&
           same_array(a.faces, b.faces, a.max_faces, sizeof(face_data)) &&
           same_array(a.tfaces, b.tfaces, a.max_faces, sizeof(tface_data)) &&
           same_array(a.tverts, b.tverts, a.tvert_count, sizeof(tvert_data));
}

static void release(const parse_result& r)
{
    free(r.vertices);
    free(r.faces);
    free(r.tfaces);
    free(r.tverts);
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    parse_result reference = parse_with(data, size, run_scanf);
    parse_result fast = parse_with(data, size, run_fast);
    if (!same_result(reference, fast))
        abort();
    release(reference);
    release(fast);
    return 0;
}
