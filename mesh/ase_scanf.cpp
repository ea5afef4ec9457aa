// The ASE reader through fscanf and fgets: the reference that the program's
// reader is held to. Each keyword's formats are written out here as the
// C library reads them.
#include <string_view>

#include "mesh/ase.h"
#include "mesh/ase_lines.h"

// fscanf's result as a count of stored values (EOF stores none).
static int stored(int result)
{
    return result > 0 ? result : 0;
}

static line_values read_count(FILE* stream)
{
    line_values v;
    v.indexed = fscanf(stream, "%i", &v.index) == 1;
    return v;
}

// An index, then three reals in a call of their own.
static line_values read_index_and_reals(FILE* stream)
{
    line_values v;
    v.indexed = fscanf(stream, "%i", &v.index) == 1;
    v.converted = stored(fscanf(stream, "%f %f %f", &v.reals[0], &v.reals[1], &v.reals[2]));
    return v;
}

static line_values read_offset(FILE* stream)
{
    line_values v;
    v.converted = stored(fscanf(stream, "%f", &v.reals[0]));
    return v;
}

void read_num_vertex(FILE* stream)
{
    store_line(ase_line::num_vertex, read_count(stream));
}

void read_num_faces(FILE* stream)
{
    store_line(ase_line::num_faces, read_count(stream));
}

void read_vertex(FILE* stream)
{
    store_line(ase_line::vertex, read_index_and_reals(stream));
}

void read_face(FILE* stream)
{
    line_values v;
    v.indexed = fscanf(stream, "%i:", &v.index) == 1;
    v.converted = stored(fscanf(stream, "\tA:\t%d B:\t%d C:\t%d", &v.ints[0], &v.ints[1], &v.ints[2]));
    store_line(ase_line::face, v);
}

void read_tvert(FILE* stream)
{
    line_values v;
    v.indexed = fscanf(stream, "%i", &v.index) == 1;
    v.converted = stored(fscanf(stream, "%f %f", &v.reals[0], &v.reals[1]));
    store_line(ase_line::num_tvertex, v);
}

void read_tface(FILE* stream)
{
    line_values v;
    v.indexed = fscanf(stream, "%i", &v.index) == 1;
    v.converted = stored(fscanf(stream, "%i %i %i", &v.ints[0], &v.ints[1], &v.ints[2]));
    store_line(ase_line::tface, v);
}

void read_u_offset(FILE* stream)
{
    store_line(ase_line::u_offset, read_offset(stream));
}

void read_v_offset(FILE* stream)
{
    store_line(ase_line::v_offset, read_offset(stream));
}

// One call: the reals are not read when the index does not convert.
void read_face_normal(FILE* stream)
{
    line_values v;
    int n = fscanf(stream, "%i %f %f %f", &v.index, &v.reals[0], &v.reals[1], &v.reals[2]);
    v.indexed = n >= 1;
    v.converted = stored(n - 1);
    store_line(ase_line::face_normal, v);
}

void read_vertex_normal(FILE* stream)
{
    store_line(ase_line::vertex_normal, read_index_and_reals(stream));
}

static void read_line(ase_line line, FILE* stream)
{
    switch (line) {
    case ase_line::num_vertex:
        return read_num_vertex(stream);
    case ase_line::num_faces:
        return read_num_faces(stream);
    case ase_line::vertex:
        return read_vertex(stream);
    case ase_line::face:
        return read_face(stream);
    case ase_line::num_tvertex:
        return read_tvert(stream);
    case ase_line::tface:
        return read_tface(stream);
    case ase_line::u_offset:
        return read_u_offset(stream);
    case ase_line::v_offset:
        return read_v_offset(stream);
    case ase_line::face_normal:
        return read_face_normal(stream);
    case ase_line::vertex_normal:
        return read_vertex_normal(stream);
    }
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
        ase_line line;
        if (find_keyword(token, &line))
            read_line(line, stream);
        else if (!fgets(token, sizeof token, stream))
            return;  // the end of the file, where the loop ends too
    }
}
