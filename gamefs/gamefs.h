// Where a model's textures are, found as the level editors of the Quake III
// family find them: names relative to the game's folder, looked for in the
// model's folder and every folder above it, extensions and letter case
// forgiven.
#pragma once
#include <string>
#include <vector>

// The name as the search takes it: backslashes become slashes.
std::string texture_key(const std::string& name);
// The files that may hold the texture that the model at model_path names,
// in the order they are to be tried (the first that decodes wins). Only
// paths that exist are listed; whether they are regular files and images is
// for the caller to find out.
std::vector<std::string> texture_candidates(const std::string& model_path, const std::string& name);
