// Arbitrary bytes through the steps of aseview-export after its reader: the
// scene step on a tree that holds nothing (no texture is found; editor
// surfaces are still hidden), the glTF built with or without the hidden
// surfaces, and its JSON written. Names that are no UTF-8 must not stop it.
#include <memory>
#include <sstream>

#include "export/gltf.h"
#include "fuzz/fuzz_support.h"
#include "mesh/model.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (run_on_bytes(data, size, parse_model)) {
        model_scene scene;
        build_model_scene(std::make_shared<game_fs>(), &scene);
        export_options options;
        options.scale = 0.0254f;
        options.all_surfaces = size % 2 == 1;
        tinygltf::Model gltf;
        std::string why;
        if (build_gltf(scene, options, &gltf, &why)) {
            // The binary buffer is written apart from the JSON, as the GLB writer does.
            gltf.buffers.clear();
            std::ostringstream json;
            tinygltf::TinyGLTF().WriteGltfSceneToStream(&gltf, json, false, false);
        }
    }
    reset_model_store();
    return 0;
}
