#include "mesh/store.h"

#include <cstdio>
#include <cstdlib>

#include "mesh/huge_pages.h"

d_data* vertex_list = nullptr;
int vertex_count = 0;
face_data* face_list = nullptr;
int MAX_FACES = 0;
tface_data* tface_list = nullptr;
tvert_data* tvert_list = nullptr;
int tvert_count = 0;
int v_pos = 0;

// Zero-filled so that records no line sets hold in-range vertex indices.
// An empty array may legally come back null from calloc; that is no failure,
// and every reader checks the pointer with the count anyway.
static void* alloc_records(int count, size_t size, const char* failure)
{
    void* p = count < 0 ? nullptr : calloc(size_t(count), size);
    if (!p && count != 0) {
        printf("%s", failure);
        exit(1);
    }
    advise_huge_pages(p, size_t(count) * size);
    return p;
}

d_data* alloc_data(int count)
{
    return static_cast<d_data*>(
        alloc_records(count, sizeof(d_data), "error in d_data *alloc_data() function\n"));
}

// Each array is released before its replacement is made, so a file with
// several objects never holds two sets at once. Until the replacement exists
// the store reads as empty, so nothing ever points at a released array, even
// while a failed allocation is ending the process.
void alloc_vertices(int count)
{
    free(vertex_list);
    vertex_list = nullptr;
    vertex_count = 0;
    vertex_list = alloc_data(count);
    vertex_count = count;
}

void alloc_faces(int count)
{
    free(face_list);
    free(tface_list);
    face_list = nullptr;
    tface_list = nullptr;
    MAX_FACES = 0;
    face_list = static_cast<face_data*>(
        alloc_records(count, sizeof(face_data), "error in face_data *alloc_faces() function\n"));
    tface_list = static_cast<tface_data*>(
        alloc_records(count, sizeof(tface_data), "error in tface_data *alloc_faces() function\n"));
    MAX_FACES = count;
}

void alloc_tverts(int count)
{
    free(tvert_list);
    tvert_list = nullptr;
    tvert_count = 0;
    tvert_list = static_cast<tvert_data*>(
        alloc_records(count, sizeof(tvert_data), "error in tvert_data *alloc_tverts() function\n"));
    tvert_count = count;
}

void reset_mesh_store()
{
    free(vertex_list);
    free(face_list);
    free(tface_list);
    free(tvert_list);
    vertex_list = nullptr;
    face_list = nullptr;
    tface_list = nullptr;
    tvert_list = nullptr;
    vertex_count = 0;
    MAX_FACES = 0;
    tvert_count = 0;
    v_pos = 0;
}
