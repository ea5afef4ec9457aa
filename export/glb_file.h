// A glTF written as one binary file, safely: into a temporary file beside
// the target, renamed over it only once whole.
#pragma once
#include <sys/stat.h>

#include <string>

#include <tiny_gltf.h>

// Why `out` may not be written for the model read from `input` (empty when
// it may): the model itself, or something other than a regular file.
std::string glb_target_refusal(const std::string& out, const struct stat& input);
// Writes the GLB at `out` (the model is lent: its buffers are set aside
// while its JSON is made). False, with the reason and nothing left at out,
// when it is over the format's 4 GiB or a write, the close or the rename
// fails.
bool write_glb(tinygltf::Model* gltf, const std::string& out, std::string* why);
