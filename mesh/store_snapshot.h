// The reader's whole result as bytes: the store's arrays and numbers, the
// vertex-normal corner state and where the stream was left, for comparing
// two parses record for record. Shared by the mesh tests, the differential
// fuzz target and the load benchmark.
#pragma once
#include <cstdio>
#include <string>

#include "mesh/ase.h"
#include "mesh/store.h"

struct store_snapshot {
    std::string vertices, faces, tfaces, tverts;
    int vertex_count, max_faces, tvert_count, v_pos, cur_face, vnorm_corner;
    bool operator==(const store_snapshot&) const = default;
};

// An empty array reads the same whether or not calloc gave a block for it.
inline std::string bytes_of(const void* p, int count, size_t size)
{
    if (count <= 0)
        return "";
    return p ? std::string(static_cast<const char*>(p), size_t(count) * size) : "(no array)";
}

inline store_snapshot snapshot_store()
{
    return {bytes_of(vertex_list, vertex_count, sizeof(d_data)),
            bytes_of(face_list, MAX_FACES, sizeof(face_data)),
            bytes_of(tface_list, MAX_FACES, sizeof(tface_data)),
            bytes_of(tvert_list, tvert_count, sizeof(tvert_data)),
            vertex_count, MAX_FACES, tvert_count, v_pos, cur_face, vnorm_corner};
}

// Which arrays exist, a bit each: the snapshot cannot tell an empty array
// from a missing one, but two readers must agree on that too.
inline unsigned arrays_present()
{
    return unsigned(vertex_list != nullptr) | unsigned(face_list != nullptr) << 1 |
           unsigned(tface_list != nullptr) << 2 | unsigned(tvert_list != nullptr) << 3;
}

struct parse_result {
    store_snapshot store;
    unsigned arrays;
    long position;
    bool at_eof;
    bool operator==(const parse_result&) const = default;
};

// Parses the stream from a fresh reader.
inline parse_result parse_fresh(FILE* stream, void (*parse)(FILE*))
{
    reset_ase_reader();
    parse(stream);
    return {snapshot_store(), arrays_present(), ftell(stream), feof(stream) != 0};
}
