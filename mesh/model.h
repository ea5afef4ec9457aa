// The whole scene of an ASE file as the model view draws it: every object
// with its faces, texture coordinates and normals, and the material list.
// Kept apart from the mesh store, which holds only the last object's mesh
// for the default and fitted views and the dumps.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

struct model_vec3 {
    float x, y, z;
};
static_assert(sizeof(model_vec3) == 12);

struct model_face {
    int vert[3];   // vertex numbers of corners A, B, C
    int tvert[3];  // texture-vertex numbers; -1 without a *MESH_TFACE
    int mtlid;     // *MESH_MTLID, 0 when absent
    int normals;   // 1 when the file gives the corners' vertex normals
    model_vec3 normal[3];
};
static_assert(sizeof(model_face) == 68);

struct model_object {
    std::vector<model_vec3> positions;  // by vertex number, as given in the file
    std::vector<model_vec3> tverts;     // u, v, w by texture-vertex number
    std::vector<model_face> faces;      // by face number
    int material_ref;                   // *MATERIAL_REF, 0 when absent
    std::string name;                   // *NODE_NAME, quotes removed
};

struct model_material {
    float diffuse[3];  // *MATERIAL_DIFFUSE
    int has_diffuse;
    // The texture name as the file writes it, quotes removed; empty for none.
    std::string bitmap;
    // The UVW transform of the map that gave the bitmap: 0, 0, 1, 1 by default.
    float u_offset, v_offset, u_tiling, v_tiling;
    std::vector<model_material> submaterials;
    std::string name;  // *MATERIAL_NAME, quotes removed
};

// Every *GEOMOBJECT block in file order, whether it holds a mesh or not.
extern std::vector<model_object>& model_objects;
// *MATERIAL blocks by their number.
extern std::vector<model_material>& model_materials;

// Reads the stream from its current position to the end into the model
// store, replacing what was there. Never fails: what it cannot understand
// it skips.
void parse_model(FILE* stream);
// The material a face is drawn with: its object's material, or that
// material's submaterial numbered by the face's mtlid modulo their count.
// Null when the object's material number names no material.
const model_material* face_material(const model_object& object, const model_face& face);
// Whether all three corners name vertices the object gives.
bool model_face_drawable(const model_object& object, const model_face& face);
// Back to an empty store.
void reset_model_store();
