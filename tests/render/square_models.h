// Test models: upright squares side by side along X, each with a material
// of its own in the colour given, textured with the image named or not.
#pragma once
#include <sstream>
#include <string>

inline std::string square_model(int count, const char* color = "0.8 0.1 0.1", const std::string& bitmap = "")
{
    std::ostringstream out;
    out << "*3DSMAX_ASCIIEXPORT 200\n*MATERIAL_LIST {\n*MATERIAL_COUNT " << count << "\n";
    for (int i = 0; i < count; i++) {
        out << "*MATERIAL " << i << " {\n*MATERIAL_DIFFUSE " << color << "\n";
        if (!bitmap.empty())
            out << "*MAP_DIFFUSE {\n*BITMAP \"" << i << bitmap << "\"\n}\n";
        out << "}\n";
    }
    out << "}\n";
    for (int i = 0; i < count; i++) {
        int x = 15 * i;
        out << "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 4\n*MESH_NUMFACES 2\n*MESH_VERTEX_LIST {\n"
            << "*MESH_VERTEX 0 " << x << " 0 0\n*MESH_VERTEX 1 " << x + 10 << " 0 0\n"
            << "*MESH_VERTEX 2 " << x + 10 << " 0 10\n*MESH_VERTEX 3 " << x << " 0 10\n}\n"
            << "*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2\n*MESH_FACE 1: A: 0 B: 2 C: 3\n}\n"
            << "*MESH_NUMTVERTEX 4\n*MESH_TVERTLIST {\n*MESH_TVERT 0 0 0 0\n*MESH_TVERT 1 1 0 0\n"
            << "*MESH_TVERT 2 1 1 0\n*MESH_TVERT 3 0 1 0\n}\n*MESH_NUMTVFACES 2\n*MESH_TFACELIST {\n"
            << "*MESH_TFACE 0 0 1 2\n*MESH_TFACE 1 0 2 3\n}\n}\n*MATERIAL_REF " << i << "\n}\n";
    }
    return out.str();
}
