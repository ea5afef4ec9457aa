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

// A face's colour-vertex numbers, from *MESH_CFACE; -1 where not given.
// Kept apart from model_face: most models have none, and the faces' size
// counts in reading and drawing large ones.
struct model_color_face {
    int cvert[3];
};

struct model_object {
    std::vector<model_vec3> positions;  // by vertex number, as given in the file
    std::vector<model_vec3> tverts;     // u, v, w by texture-vertex number
    std::vector<model_face> faces;      // by face number
    int material_ref;                   // *MATERIAL_REF, 0 when absent
    std::string name;                   // *NODE_NAME, quotes removed
    std::vector<model_vec3> cverts;     // r, g, b by colour-vertex number, as given
    // By face number, up to the last face that *MESH_CFACE named; the
    // numbers as given, checked where they are used.
    std::vector<model_color_face> color_faces;
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
// Whether the file gives the face, one of object.faces, a colour at each
// corner: a *MESH_CFACE whose three numbers name colour vertices it gives.
bool vertex_colors_given(const model_object& object, const model_face& face);
// The colour of corner k (0..2) of such a face, each channel within 0..1
// (not a number reads as 0); white, which changes no colour it multiplies,
// for any other face or corner.
model_vec3 vertex_color(const model_object& object, const model_face& face, int k);
// Back to an empty store.
void reset_model_store();
