#include "mesh/ase.h"

#include <cstdlib>
#include <cstring>

#include "mesh/ase_records.h"
#include "mesh/store.h"

int cur_face = 0;
int vnorm_corner = 0;

void load_model(const char* path)
{
    FILE* stream = fopen(path, "r");
    if (!stream) {
        printf("File not there or something ;|\n");
        exit(1);
    }
    parse_ase(stream);
    fclose(stream);
}

void read_num_vertex(FILE* stream)
{
    fscanf(stream, "%i", &vertex_count);
    alloc_vertices(vertex_count);
}

void read_num_faces(FILE* stream)
{
    fscanf(stream, "%i", &MAX_FACES);
    alloc_faces(MAX_FACES);
}

void read_vertex(FILE* stream)
{
    int j = 0;
    fscanf(stream, "%i", &j);
    v_pos = j;
    d_data scratch;
    d_data* vertex = vertex_line_record(j, &scratch);
    fscanf(stream, "%f %f %f", &vertex->xyz[0], &vertex->xyz[1], &vertex->xyz[2]);
}

// A face number that does not convert names no record; the corner values
// are still read so the line consumes what any face line does.
void read_face(FILE* stream)
{
    int i = 0;
    face_data scratch;
    face_data* face = fscanf(stream, "%i:", &i) == 1 ? face_at(i) : nullptr;
    if (!face)
        face = &scratch;
    fscanf(stream, "\tA:\t%d B:\t%d C:\t%d", &face->vert[0], &face->vert[1], &face->vert[2]);
}

// The count is used again as a vertex index; in a well-formed file the
// reals that follow do not convert and nothing is stored. A count that does
// not convert leaves the texture array as it was.
void read_tvert(FILE* stream)
{
    int n = 0;
    bool counted = fscanf(stream, "%i", &n) == 1;
    if (counted)
        alloc_tverts(n);
    d_data scratch;
    d_data* vertex = counted ? vertex_at(n) : nullptr;
    if (!vertex)
        vertex = &scratch;
    fscanf(stream, "%f %f", &vertex->u, &vertex->v);
}

void read_tface(FILE* stream)
{
    int i = 0;
    tvert_data scratch;
    tvert_data* tvert = fscanf(stream, "%i", &i) == 1 ? tvert_at(i) : nullptr;
    if (!tvert)
        tvert = &scratch;
    fscanf(stream, "%i %i %i", &tvert->tv[0], &tvert->tv[1], &tvert->tv[2]);
}

// Offsets often stand in the material section, before any vertex exists;
// they, and offsets whose value does not convert, add nothing.
void read_u_offset(FILE* stream)
{
    float x = 0;
    if (fscanf(stream, "%f", &x) == 1 && vertex_at(0))
        vertex_list[0].u += x;
}

void read_v_offset(FILE* stream)
{
    float x = 0;
    if (fscanf(stream, "%f", &x) == 1 && vertex_at(0))
        vertex_list[0].v += x;
}

// Components that do not convert are stored as 0, like a missing index.
void read_face_normal(FILE* stream)
{
    int i = 0;
    float x = 0, y = 0, z = 0;
    fscanf(stream, "%i %f %f %f", &i, &x, &y, &z);
    if (face_data* face = face_at(i)) {
        face->norm[0] = x;
        face->norm[1] = y;
        face->norm[2] = z;
    }
    cur_face = i;
}

// A vertex index outside the vertex array stores nothing anywhere, so every
// vnorm entry the reader writes names an existing vertex; the corner counter
// still moves on.
void read_vertex_normal(FILE* stream)
{
    int j = 0;
    fscanf(stream, "%i", &j);
    d_data scratch;
    d_data* vertex = vertex_at(j);
    d_data* target = vertex ? vertex : &scratch;
    fscanf(stream, "%f %f %f", &target->norm[0], &target->norm[1], &target->norm[2]);
    face_data* face = face_at(cur_face);
    if (vertex && face)
        face->vnorm[vnorm_corner] = j;
    vnorm_corner = vnorm_corner + 1 == 3 ? 0 : vnorm_corner + 1;
}

struct keyword {
    const char* name;
    void (*read)(FILE*);
};

static const keyword keywords[] = {
    {"*MESH_NUMVERTEX", read_num_vertex},
    {"*MESH_NUMFACES", read_num_faces},
    {"*MESH_VERTEX", read_vertex},
    {"*MESH_FACE", read_face},
    {"*MESH_NUMTVERTEX", read_tvert},
    {"*MESH_TFACE", read_tface},
    {"*UVW_U_OFFSET", read_u_offset},
    {"*UVW_V_OFFSET", read_v_offset},
    {"*MESH_FACENORMAL", read_face_normal},
    {"*MESH_VERTEXNORMAL", read_vertex_normal},
};

static bool run_keyword(const char* token, FILE* stream)
{
    for (const keyword& k : keywords) {
        if (strcmp(token, k.name) == 0) {
            k.read(stream);
            return true;
        }
    }
    return false;
}

void parse_ase_scanf(FILE* stream)
{
    char token[256];
    rewind(stream);
    while (!feof(stream)) {
        // The result is tested so that a keyword ending the file is not run
        // a second time from the stale buffer.
        if (fscanf(stream, "%255s", token) != 1)
            return;
        if (!run_keyword(token, stream))
            fgets(token, sizeof token, stream);
    }
}

void reset_ase_reader()
{
    cur_face = 0;
    vnorm_corner = 0;
    reset_mesh_store();
}
