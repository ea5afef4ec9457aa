// Tangent frames as Doom 3 derives them for bump-mapped surfaces, so that a
// normal map lights a model as it does in the game: per vertex T along +s
// and B along +t, each the unweighted sum of its faces' unit directions made
// perpendicular to the normal on its own (T and B need not be perpendicular
// to each other), with vertices split where mirrored texture coordinates
// meet so that no sum crosses a mirror seam.
//
// Input conventions:
// - Corners are in the file's order A, B, C (counter-clockwise seen from the
//   front, as *MESH_FACE lists them). The game swaps B and C on reading and
//   takes its cross products the other way round, so its face normal is
//   (B - A) x (C - A) here, and a face it calls negative (mirrored) has a
//   positive area s x t here. T and B do not depend on the winding.
// - t grows down the picture, as the game reads it: t = 1 - v of the
//   file's *MESH_TVERT. Given v instead, B comes out reversed.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "mesh/model.h"

struct tangent_st {
    float s, t;
};

struct tangent_mesh {
    std::span<const model_vec3> positions;
    std::span<const tangent_st> texcoords;  // one per position
    // One per position when normals_given; they need not be unit length.
    std::span<const model_vec3> normals;
    bool normals_given = false;
    std::span<const uint32_t> corners;  // three per triangle
};

struct tangent_frames {
    // The triangles again, mirrored ones using the split vertices.
    std::vector<uint32_t> corners;
    // Vertex positions.size() + i is a copy of vertex copied_from[i].
    std::vector<uint32_t> copied_from;
    // One per vertex, copies included: unit vectors, or zero for a vertex no
    // face gives a direction (a tangent when all its faces have no
    // texture-coordinate area).
    std::vector<model_vec3> normals, tangents, bitangents;
};

// Null when the mesh is inconsistent: texture coordinates or given normals
// not one per position, corners not a whole number of triangles, or a
// corner past the last position.
std::optional<tangent_frames> derive_tangents(const tangent_mesh& mesh);
