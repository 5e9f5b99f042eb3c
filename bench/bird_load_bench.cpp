// Loading a 4 MiB BIRD file (open, one read, one inflate, object walk) against the floor of
// zlib's own uncompress of the same stream into the same-sized buffer.
#include "BirdFile.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

constexpr size_t kTargetFileSize = 4u << 20;

void appendBigEndian(std::vector<uint8_t> &out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

// Firmware-like bytes: sixteen symbols in a pseudo-random order, so deflate gets about 2:1.
std::vector<uint8_t> objectStream(size_t imageSize) {
    std::vector<uint8_t> stream;
    appendBigEndian(stream, 1);
    stream.push_back(1); // a firmware image
    appendBigEndian(stream, static_cast<uint32_t>(imageSize + 4));
    appendBigEndian(stream, 0x8000);
    uint32_t state = 12345;
    for (size_t i = 0; i < imageSize; ++i) {
        state = state * 1103515245u + 12345u;
        stream.push_back(static_cast<uint8_t>((state >> 16) & 0x0F) * 17);
    }
    appendBigEndian(stream, 0);
    return stream;
}

std::vector<uint8_t> compressed(const std::vector<uint8_t> &stream) {
    uLongf length = compressBound(stream.size());
    std::vector<uint8_t> out(length);
    compress2(out.data(), &length, stream.data(), stream.size(), 9);
    out.resize(length);
    return out;
}

struct Fixture {
    std::string directory;
    std::string path;
    std::vector<uint8_t> zlibData;
    size_t fileSize = 0;

    Fixture() {
        // Size the image so that the file comes out at about 4 MiB.
        size_t imageSize = 2 * kTargetFileSize;
        zlibData = compressed(objectStream(imageSize));
        imageSize = imageSize * kTargetFileSize / (zlibData.size() + 6);
        zlibData = compressed(objectStream(imageSize));
        std::string pattern = (std::filesystem::temp_directory_path() / "qmbench-XXXXXX").string();
        directory = mkdtemp(pattern.data());
        path = directory + "/4MiB.bird";
        std::ofstream out(path, std::ios::binary);
        out.write("bird\x01\x01", 6);
        out.write(reinterpret_cast<const char *>(zlibData.data()),
                  static_cast<std::streamsize>(zlibData.size()));
        fileSize = zlibData.size() + 6;
    }
    ~Fixture() { std::filesystem::remove_all(directory); }
};

Fixture &fixture() {
    static Fixture made;
    return made;
}

void BM_UncompressFloor(benchmark::State &state) {
    const Fixture &f = fixture();
    uLongf capacity = 8 * f.zlibData.size();
    std::unique_ptr<uint8_t[]> out(new uint8_t[capacity]);
    for (auto _ : state) {
        uLongf length = capacity;
        int result = uncompress(out.get(), &length, f.zlibData.data(), f.zlibData.size());
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.fileSize));
}

void BM_LoadBirdFile(benchmark::State &state) {
    const Fixture &f = fixture();
    for (auto _ : state) {
        BirdFile loaded(f.path);
        benchmark::DoNotOptimize(loaded.objectCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.fileSize));
}

BENCHMARK(BM_UncompressFloor)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_LoadBirdFile)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// Prints the usual table and remembers each benchmark's real time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            std::string name = run.benchmark_name();
            seconds[name.substr(0, name.find('/'))] =
                run.real_accumulated_time / static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double floor = reporter.seconds["BM_UncompressFloor"];
    double load = reporter.seconds["BM_LoadBirdFile"];
    if (floor > 0 && load > 0) {
        std::printf("file %zu bytes; load %.3f ms, uncompress floor %.3f ms; ratio %.3f\n",
                    fixture().fileSize, load * 1e3, floor * 1e3, load / floor);
    }
    benchmark::Shutdown();
    return 0;
}
