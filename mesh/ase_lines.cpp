#include "mesh/ase_lines.h"

#include <cstring>

#include "mesh/ase.h"
#include "mesh/store.h"

int cur_face = 0;
int vnorm_corner = 0;

// A line naming a record that does not exist stores nothing there; it has
// consumed what any line of its kind does all the same.
static d_data* vertex_at(int j)
{
    return vertex_list && j >= 0 && j < vertex_count ? &vertex_list[j] : nullptr;
}

static face_data* face_at(int i)
{
    return face_list && i >= 0 && i < MAX_FACES ? &face_list[i] : nullptr;
}

static tvert_data* tvert_at(int i)
{
    return tvert_list && i >= 0 && i < tvert_count ? &tvert_list[i] : nullptr;
}

// Values that convert are stored into the record in order, so a record
// keeps its earlier content from the first failed one on.
template <class T>
static void store_converted(T* fields, const T* values, int converted)
{
    for (int k = 0; k < 3; k++)
        fields[k] = k < converted ? values[k] : fields[k];
}

// v_pos is the index of the last vertex line, not a count.
static void store_vertex(const line_values& v)
{
    v_pos = v.index;
    if (d_data* vertex = vertex_at(v.index)) {
        vertex->vindex = v.index;
        store_converted(vertex->xyz, v.reals, v.converted);
    }
}

// A face number that does not convert names no record.
static void store_face(const line_values& v)
{
    if (face_data* face = v.indexed ? face_at(v.index) : nullptr)
        store_converted(face->vert, v.ints, v.converted);
}

// The count is used again as a vertex index; in a well-formed file the
// reals after it do not convert and nothing is stored. A count that does
// not convert leaves the texture array as it was.
static void store_tvert_count(const line_values& v)
{
    if (!v.indexed)
        return;
    alloc_tverts(v.index);
    if (d_data* vertex = vertex_at(v.index)) {
        if (v.converted > 0)
            vertex->u = v.reals[0];
        if (v.converted > 1)
            vertex->v = v.reals[1];
    }
}

static void store_tface(const line_values& v)
{
    if (tvert_data* tvert = v.indexed ? tvert_at(v.index) : nullptr)
        store_converted(tvert->tv, v.ints, v.converted);
}

// Offsets often stand in the material section, before any vertex exists;
// they, and offsets whose value does not convert, add nothing.
static void add_offset(float d_data::*field, const line_values& v)
{
    if (v.converted > 0 && vertex_at(0))
        vertex_list[0].*field += v.reals[0];
}

// Components that do not convert are stored as 0, like a missing index.
static void store_face_normal(const line_values& v)
{
    if (face_data* face = face_at(v.index))
        memcpy(face->norm, v.reals, sizeof v.reals);
    cur_face = v.index;
}

// A vertex index outside the vertex array stores nothing anywhere, so every
// vnorm entry names an existing vertex; the corner counter still moves on.
static void store_vertex_normal(const line_values& v)
{
    d_data* vertex = vertex_at(v.index);
    if (vertex)
        store_converted(vertex->norm, v.reals, v.converted);
    face_data* face = face_at(cur_face);
    if (vertex && face)
        face->vnorm[vnorm_corner] = v.index;
    vnorm_corner = vnorm_corner + 1 == 3 ? 0 : vnorm_corner + 1;
}

// A count that does not convert keeps the count the store has.
void store_line(ase_line line, const line_values& v)
{
    switch (line) {
    case ase_line::num_vertex:
        alloc_vertices(v.indexed ? v.index : vertex_count);
        break;
    case ase_line::num_faces:
        alloc_faces(v.indexed ? v.index : MAX_FACES);
        break;
    case ase_line::vertex:
        store_vertex(v);
        break;
    case ase_line::face:
        store_face(v);
        break;
    case ase_line::num_tvertex:
        store_tvert_count(v);
        break;
    case ase_line::tface:
        store_tface(v);
        break;
    case ase_line::u_offset:
        add_offset(&d_data::u, v);
        break;
    case ase_line::v_offset:
        add_offset(&d_data::v, v);
        break;
    case ase_line::face_normal:
        store_face_normal(v);
        break;
    case ase_line::vertex_normal:
        store_vertex_normal(v);
        break;
    }
}
