#include "support/BirdWriter.h"

#include <cstdio>
#include <stdexcept>

namespace {

// Paths here come from the tests' own temporary directories, which hold no quotes.
std::string jsonText(const std::string &text) {
    return "\"" + text + "\"";
}

} // namespace

void writeBirdFiles(const std::vector<std::pair<std::string, std::string>> &files) {
    std::string batch = "[";
    for (const auto &[path, plan] : files) {
        batch += (batch.size() > 1 ? ", " : "") + std::string("{\"out\": ") + jsonText(path) +
                 ", \"plan\": " + plan + "}";
    }
    batch += "]";
    // Without site packages Python starts several times faster; the writer needs none.
    std::string command = std::string("python3 -S ") + QM_PEERS_DIR + "/birdfile.py --batch";
    FILE *writer = popen(command.c_str(), "w");
    if (writer == nullptr) {
        throw std::runtime_error("cannot start " + command);
    }
    std::fwrite(batch.data(), 1, batch.size(), writer);
    if (pclose(writer) != 0) {
        throw std::runtime_error("birdfile.py failed for " + batch.substr(0, 2000));
    }
}
