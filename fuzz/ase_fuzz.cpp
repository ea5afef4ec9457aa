// Arbitrary bytes through the ASE reader and the dumps; afterwards the mesh
// store must be consistent and everything the drawing reads must be in bounds.
#include <cstdlib>
#include <unistd.h>

#include "fuzz/fuzz_support.h"
#include "mesh/ase.h"
#include "mesh/dump.h"
#include "mesh/store.h"

static void check_array(const void* list, int count, size_t record_size)
{
    if (!list) {
        if (count != 0)
            abort();
        return;
    }
    // An empty array is never read; the allocator may round its size up.
    if (count < 0 || (count > 0 && allocated_size(list) != size_t(count) * record_size))
        abort();
}

// Reads what one frame reads, so that the sanitizer sees any stray index.
static float touch_drawn_vertices()
{
    float sum = 0;
    for (int i = 0; i < MAX_FACES; i++) {
        const face_data* face = &face_list[i];
        if (!face_drawable(face))
            continue;
        for (int k = 0; k < 3; k++)
            sum += vertex_list[face->vert[k]].xyz[0] + vertex_list[face->vnorm[k]].norm[0];
    }
    return sum;
}

static void write_dumps(FILE*)
{
    dump_vert();
    dump_norm();
    dump_vnorm();
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silence_stdout();
    // The dumps write into the working directory; keep them out of the way.
    char dir[] = "/tmp/ase_fuzz.XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0)
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    reset_ase_reader();
    if (run_on_bytes(data, size, parse_ase)) {
        check_array(vertex_list, vertex_count, sizeof(d_data));
        check_array(face_list, MAX_FACES, sizeof(face_data));
        check_array(tface_list, MAX_FACES, sizeof(tface_data));
        check_array(tvert_list, tvert_count, sizeof(tvert_data));
        if (vnorm_corner < 0 || vnorm_corner > 2)
            abort();
        volatile float sink = touch_drawn_vertices();
        (void)sink;
        run_on_bytes(nullptr, 0, write_dumps);
    }
    reset_ase_reader();
    return 0;
}
