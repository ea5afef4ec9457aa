// The program's ASE reader: the token loop and the keyword lines of the
// fscanf reader, read through the exact scanner from a block buffer, so
// that both readers store the same bits for any input.
#include "mesh/ase.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "mesh/ase_lines.h"
#include "mesh/scan.h"
#include "mesh/store.h"

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

// The lines that make up nearly all of a model, read whole with the
// position kept in a register: the leading whitespace and an index ("%i"),
// then `count` reals ("%f"). False, with nothing consumed or stored, unless
// every number is plain and the line's end is in view.
static bool read_plain_index_and_reals(scan_source* s, line_values* v, int count)
{
    scan_ahead(s, scan_lookahead);
    int i;
    float r[3];
    const unsigned char* p = plain_decimal_int(skip_space_bytes(s->data + s->at), 0, &i);
    for (int k = 0; p && k < count; k++)
        p = plain_decimal_real(skip_space_bytes(p), &r[k]);
    if (!p || p >= s->data + s->end)
        return false;
    s->at = size_t(p - s->data);
    v->index = i;
    v->indexed = true;
    v->converted = count;
    memcpy(v->reals, r, sizeof(float) * size_t(count));
    return true;
}

// A face line the same way: "%i:" and "\tA:\t%d B:\t%d C:\t%d".
static bool read_plain_face(scan_source* s, line_values* v)
{
    scan_ahead(s, scan_lookahead);
    int i, c[3];
    const unsigned char* p = plain_decimal_int(skip_space_bytes(s->data + s->at), 0, &i);
    if (p && *p++ != ':')
        return false;
    for (int k = 0; p && k < 3; k++) {
        p = skip_space_bytes(p);
        if (p[0] != "ABC"[k] || p[1] != ':')
            return false;
        p = plain_decimal_int(skip_space_bytes(p + 2), 10, &c[k]);
    }
    if (!p || p >= s->data + s->end)
        return false;
    s->at = size_t(p - s->data);
    v->index = i;
    v->indexed = true;
    v->converted = 3;
    memcpy(v->ints, c, sizeof c);
    return true;
}

// "%i:" then "\tA:\t%d B:\t%d C:\t%d".
static void read_face_values(scan_source* s, line_values* v)
{
    if (read_plain_face(s, v))
        return;
    v->indexed = scan_i(s, &v->index);
    if (v->indexed)
        scan_literal(s, ':');
    while (v->converted < 3 && scan_space(s) && scan_literal(s, "ABC"[v->converted]) && scan_literal(s, ':') &&
           scan_d(s, &v->ints[v->converted]))
        v->converted++;
}

// Each keyword's formats as the fscanf reader writes them.
static line_values read_values(ase_line line, scan_source* s)
{
    line_values v;
    switch (line) {
    case ase_line::num_vertex:
    case ase_line::num_faces:
        v.indexed = scan_i(s, &v.index);
        break;
    case ase_line::vertex:
    case ase_line::vertex_normal:
        if (!read_plain_index_and_reals(s, &v, 3)) {
            v.indexed = scan_i(s, &v.index);
            v.converted = scan_f_run(s, v.reals, 3);
        }
        break;
    case ase_line::face:
        read_face_values(s, &v);
        break;
    case ase_line::num_tvertex:
        v.indexed = scan_i(s, &v.index);
        v.converted = scan_f_run(s, v.reals, 2);
        break;
    case ase_line::tface:
        v.indexed = scan_i(s, &v.index);
        while (v.converted < 3 && scan_i(s, &v.ints[v.converted]))
            v.converted++;
        break;
    case ase_line::u_offset:
    case ase_line::v_offset:
        v.converted = scan_f_run(s, v.reals, 1);
        break;
    case ase_line::face_normal:
        if (read_plain_index_and_reals(s, &v, 3))
            break;
        // "%i %f %f %f" in one call: no reals after an index that fails.
        v.indexed = scan_i(s, &v.index);
        if (v.indexed)
            v.converted = scan_f_run(s, v.reals, 3);
        break;
    }
    return v;
}

void parse_ase(FILE* stream)
{
    static unsigned char block[scan_block_size + 1];
    rewind(stream);
    scan_source s = scan_from(stream, block);
    std::string_view word;
    ase_line line;
    while (!s.eof && scan_255s(&s, &word)) {
        if (find_keyword(word, &line))
            store_line(line, read_values(line, &s));
        else
            skip_fgets_256(&s);
    }
}

void reset_ase_reader()
{
    cur_face = 0;
    vnorm_corner = 0;
    reset_mesh_store();
}
