// Test support: zip archives (pk3, dpk) of given entries, written through
// libzip.
#pragma once
#include <string>
#include <utility>
#include <vector>

// Entries in the order given, deflated or stored; a name is stored as given.
void write_zip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries,
               bool stored = false);
