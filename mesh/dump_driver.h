// What every dump does around its records: the console lines, the file's
// opening and closing, the failure paths and which records are written.
// A writer formats the records into the opened file; finish() hands it all
// to the file. A dump that cannot be written whole is not written at all: a
// failed write or close takes the path of a failed open, and an earlier
// dump of that name stays.
#pragma once
#include <cstdio>
#include <cstdlib>

#include "mesh/dump_file.h"
#include "mesh/store.h"

// v_pos is the index of the last vertex line, not a count, so the list runs
// up to and including it; it is still bounded by the array itself.
template <class Writer>
void write_vertex_dump()
{
    printf("************ vertex dump *********\n");
    dump_file dump = open_dump("dump.txt");
    if (dump.file) {
        Writer writer{dump.file};
        writer.head(MAX_FACES);
        for (int i = 0; vertex_list && i <= v_pos && i < vertex_count; i++)
            writer.vertex(i, vertex_list[i].xyz);
        writer.finish();
    }
    // Written before the console line that follows the file's opening, so
    // that a failed write reads as a failed open.
    if (!close_dump(&dump))
        printf("PROBLEM\n");
    printf("v_pos = %i\n", v_pos);
}

template <class Writer>
void write_face_normal_dump()
{
    dump_file dump = open_dump("norm.txt");
    if (!dump.file) {
        printf("error in dump_norm()\n");
        exit(1);
    }
    printf("****** face data *********\n");
    Writer writer{dump.file};
    for (int i = 0; face_list && i < MAX_FACES; i++)
        writer.face_normal(i, face_list[i].norm);
    writer.finish();
    if (!close_dump(&dump)) {
        printf("error in dump_norm()\n");
        exit(1);
    }
}

template <class Writer>
void write_vertex_normal_dump()
{
    dump_file dump = open_dump("vnorml.txt");
    if (!dump.file)
        return;
    Writer writer{dump.file};
    for (int i = 0; vertex_list && i < vertex_count; i++)
        writer.vertex_normal(i, vertex_list[i].norm);
    writer.finish();
    close_dump(&dump);
}
