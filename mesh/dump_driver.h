// What every dump does around its records: the console lines, the file's
// opening and closing, the failure paths and which records are written.
// A writer formats the records; it is made over the opened file and closes
// it.
#pragma once
#include <cstdio>
#include <cstdlib>

#include "mesh/store.h"

// v_pos is the index of the last vertex line, not a count, so the list runs
// up to and including it; it is still bounded by the array itself.
template <class Writer>
void write_vertex_dump()
{
    printf("************ vertex dump *********\n");
    FILE* file = fopen("dump.txt", "w+");
    Writer writer{file};
    if (file)
        writer.head(MAX_FACES);
    else
        printf("PROBLEM\n");
    printf("v_pos = %i\n", v_pos);
    if (!file)
        return;
    for (int i = 0; vertex_list && i <= v_pos && i < vertex_count; i++)
        writer.vertex(i, vertex_list[i].xyz);
    writer.close();
}

template <class Writer>
void write_face_normal_dump()
{
    FILE* file = fopen("norm.txt", "w+");
    if (!file) {
        printf("error in dump_norm()\n");
        exit(1);
    }
    printf("****** face data *********\n");
    Writer writer{file};
    for (int i = 0; face_list && i < MAX_FACES; i++)
        writer.face_normal(i, face_list[i].norm);
    writer.close();
}

template <class Writer>
void write_vertex_normal_dump()
{
    FILE* file = fopen("vnorml.txt", "w+");
    if (!file)
        return;
    Writer writer{file};
    for (int i = 0; vertex_list && i < vertex_count; i++)
        writer.vertex_normal(i, vertex_list[i].norm);
    writer.close();
}
