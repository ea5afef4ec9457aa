// The model store as a glTF 2.0 scene, as the model view shows it: a node
// per drawn object, a primitive per object and look, the found textures
// embedded in the binary buffer.
#pragma once
#include <string>

#include <tiny_gltf.h>

#include "export/gltf_images.h"
#include "export/options.h"
#include "scene/scene.h"

// Builds the scene's glTF from the model store, with the images taken while
// the scene was built (or made now from its pictures); their bytes move into
// the glTF's buffer. Each material says what its game material says, unless
// the options ask for plain ones; `said` (may be null) gets a line for each
// part of one that glTF cannot hold. False, with the reason, when a texture
// cannot be encoded or no face is left to write (hidden, or with a corner
// that is not finite).
bool build_gltf(const model_scene& scene, const export_options& options, tinygltf::Model* gltf,
                std::string* why, gltf_images images = gltf_images(), std::string* said = nullptr);
