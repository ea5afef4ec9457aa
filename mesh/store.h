// The one mesh the viewer shows: process-wide arrays of fixed-layout records
// and the numbers that size them. Filled by the ASE reader, read by the dumps
// and the frame drawing.
#pragma once

struct d_data {
    float xyz[3];
    float norm[3];
    float u;
    float v;
    int vindex;
    int spare;
};
static_assert(sizeof(d_data) == 40);

struct face_data {
    int spare_head[12];
    float norm[3];
    int vert[3];
    int vnorm[3];
    int spare_tail[10];
};
static_assert(sizeof(face_data) == 124);

struct tvert_data {
    int tv[3];
    int spare;
};
static_assert(sizeof(tvert_data) == 16);

struct tface_data {
    int spare[3];
};
static_assert(sizeof(tface_data) == 12);

extern d_data* vertex_list;
extern int vertex_count;
extern face_data* face_list;
extern int MAX_FACES;
extern tface_data* tface_list;
extern tvert_data* tvert_list;
// Size of tvert_list, kept so that texture-face lines can be bounds-checked.
extern int tvert_count;
extern int v_pos;

// Whether every corner of the face names an existing vertex, for its position
// and its normal; faces that don't are skipped when drawn.
inline bool face_drawable(const face_data* face)
{
    for (int k = 0; k < 3; k++) {
        if (face->vert[k] < 0 || face->vert[k] >= vertex_count)
            return false;
        if (face->vnorm[k] < 0 || face->vnorm[k] >= vertex_count)
            return false;
    }
    return vertex_list != nullptr;
}

// Each returns a zero-filled array or ends the process with status 1.
d_data* alloc_data(int count);
void alloc_vertices(int count);
void alloc_faces(int count);
void alloc_tverts(int count);

// Back to the state of a fresh process (arrays released, numbers zero).
void reset_mesh_store();
