#pragma once
#include <string>
#include <vector>

// A fresh directory under the system's temporary folder, removed with everything in it when the
// object goes.
class TemporaryDirectory {
  public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory &) = delete;
    TemporaryDirectory &operator=(const TemporaryDirectory &) = delete;

    const std::string &path() const { return root; }
    // root + "/" + name
    std::string file(const std::string &name) const;

  private:
    std::string root;
};

// Whole-file helpers for tests.
std::string readWholeFile(const std::string &path);
void writeWholeFile(const std::string &path, const std::string &content);
// Names in a directory, "." and ".." left out, sorted.
std::vector<std::string> directoryNames(const std::string &path);
