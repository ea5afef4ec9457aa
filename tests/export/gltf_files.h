// What the exporter's tests share: the real binary run in the working
// folder, its files checked by the Khronos validator and read back through
// tinygltf. The including test defines EXPORT_BIN, GLTF_VALIDATOR and
// VALIDATE_SCRIPT.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <tiny_gltf.h>

#include "image/decode.h"
#include "tests/support/files.h"

struct run_result {
    int status;
    std::string out, err;
};

inline std::string quoted(const std::string& s)
{
    return "'" + s + "'";
}

inline run_result run_export(const std::string& args)
{
    int status = system((quoted(EXPORT_BIN) + " " + args + " >out.txt 2>err.txt").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file("out.txt"), read_file("err.txt")};
}

// The validator's verdict: no error, no warning.
inline void expect_valid(const std::string& glb)
{
    if (!std::filesystem::exists(GLTF_VALIDATOR))
        GTEST_SKIP() << "no gltf-validator at " GLTF_VALIDATOR " (scripts/install-deps test)";
    std::string command = "node " + quoted(VALIDATE_SCRIPT) + " " + quoted(GLTF_VALIDATOR) + " " +
                          quoted(glb) + " >report.json";
    EXPECT_EQ(system(command.c_str()), 0) << glb << ":\n" << read_file("report.json");
}

inline tinygltf::Model load_glb(const std::string& path)
{
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string err, warn;
    EXPECT_TRUE(loader.LoadBinaryFromFile(&model, &err, &warn, path)) << err;
    return model;
}

// A quad of two faces in the material's colour and texture; the corners
// (0,0,0) (1,0,0) (1,2,3) (0,2,3) at texture coordinates inside the four
// texels of a 2 x 2 image.
inline std::string quad_model(const std::string& material, const std::string& object = "Quad")
{
    return "*MATERIAL_LIST {\n*MATERIAL 0 {\n*MATERIAL_NAME \"Stone\"\n" + material +
           "\n}\n}\n*GEOMOBJECT {\n*NODE_NAME \"" + object +
           "\"\n*MESH {\n*MESH_VERTEX_LIST {\n"
           "*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 1 2 3\n*MESH_VERTEX 3 0 2 3\n}\n"
           "*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2\n*MESH_FACE 1: A: 0 B: 2 C: 3\n}\n"
           "*MESH_TVERTLIST {\n*MESH_TVERT 0 0.25 0.25 0\n*MESH_TVERT 1 0.75 0.25 0\n"
           "*MESH_TVERT 2 0.75 0.75 0\n*MESH_TVERT 3 0.25 0.75 0\n}\n"
           "*MESH_TFACELIST {\n*MESH_TFACE 0 0 1 2\n*MESH_TFACE 1 0 2 3\n}\n}\n*MATERIAL_REF 0\n}\n";
}

inline const tinygltf::Accessor& accessor(const tinygltf::Model& m, const tinygltf::Primitive& p, const char* name)
{
    return m.accessors.at(size_t(p.attributes.at(name)));
}

// The accessor's floats.
inline std::vector<float> floats(const tinygltf::Model& m, const tinygltf::Accessor& a, int width)
{
    const tinygltf::BufferView& view = m.bufferViews.at(size_t(a.bufferView));
    const float* at = reinterpret_cast<const float*>(m.buffers[0].data.data() + view.byteOffset + a.byteOffset);
    return std::vector<float>(at, at + a.count * size_t(width));
}

inline std::string view_bytes(const tinygltf::Model& m, int view_index)
{
    const tinygltf::BufferView& view = m.bufferViews.at(size_t(view_index));
    return std::string(reinterpret_cast<const char*>(m.buffers[0].data.data() + view.byteOffset), view.byteLength);
}

inline RgbaImage* decode_image(const std::string& bytes)
{
    return image_decode((const unsigned char*)bytes.data(), bytes.size());
}

