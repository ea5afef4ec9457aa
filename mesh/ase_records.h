// Record lookups shared by the two ASE readers.
#pragma once
#include "mesh/store.h"

// Every reader performs all of its reads whatever the index, so a line
// consumes the same input whether or not its record exists; a record that
// does not exist is replaced by a scratch one that is then dropped.
inline d_data* vertex_at(int j)
{
    return vertex_list && j >= 0 && j < vertex_count ? &vertex_list[j] : nullptr;
}

inline face_data* face_at(int i)
{
    return face_list && i >= 0 && i < MAX_FACES ? &face_list[i] : nullptr;
}

inline tvert_data* tvert_at(int i)
{
    return tvert_list && i >= 0 && i < tvert_count ? &tvert_list[i] : nullptr;
}

// The record a vertex line fills: vertex j, which takes its index, or the
// scratch record when vertex j does not exist.
inline d_data* vertex_line_record(int j, d_data* scratch)
{
    d_data* vertex = vertex_at(j);
    if (!vertex)
        return scratch;
    vertex->vindex = j;
    return vertex;
}
