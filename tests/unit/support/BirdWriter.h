#pragma once
#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// Writes BIRD files with the peers' birdfile.py writer, in one run of it: each pair is a path
// and the JSON spec of its file (see that script). Throws std::runtime_error when it fails.
void writeBirdFiles(const std::vector<std::pair<std::string, std::string>> &files);

// Lets a test read what debugPrint writes while the object lives (debug mask bits are added and
// never removed).
class DebugCapture {
  public:
    explicit DebugCapture(unsigned mask);
    ~DebugCapture();
    DebugCapture(const DebugCapture &) = delete;
    DebugCapture &operator=(const DebugCapture &) = delete;
    // Everything written so far.
    std::string text();

  private:
    char *buffer = nullptr;
    size_t size = 0;
    FILE *stream = nullptr;
};
