#pragma once
#include <string>
#include <utility>
#include <vector>

// Writes BIRD files with the peers' birdfile.py writer, in one run of it: each pair is a path
// and the JSON plan of its file (see that script). Throws std::runtime_error when it fails.
void writeBirdFiles(const std::vector<std::pair<std::string, std::string>> &files);
