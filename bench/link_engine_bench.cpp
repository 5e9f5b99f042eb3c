// The link engine against the simulated device over loopback TCP, each figure next to a bare
// socket doing the same exchange with the same kind of device in the same run.
#include "support/SimDeviceProcess.h"

#include <quillmark/vCommands.h>
#include <quillmark/vLink.h>

#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr uint8_t kAddress = 8;
constexpr uint8_t kModelOption = 8;
const uint8_t kRequest[] = {kAddress, 3, cmdSYSTEM, kModelOption | 0x40, 0x20};
constexpr size_t kReplySize = 6;
// Frames of an unsolicited burst: [address, 3, 0x5D, n, 0].
constexpr uint8_t kBurstCommand = 0x5D;
constexpr size_t kBurstFrameSize = 5;
constexpr int kBurstFrames = 2000;
constexpr auto kIdleTime = std::chrono::seconds(10);

std::vector<std::string> deviceOptions() {
    return {"--address", std::to_string(kAddress)};
}

int connectBare(uint16_t port) {
    int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = loopbackAddress();
    int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(socket);
        return -1;
    }
    return socket;
}

bool receiveExactly(int socket, size_t count) {
    uint8_t buffer[4096];
    while (count > 0) {
        ssize_t got = recv(socket, buffer, std::min(count, sizeof buffer), 0);
        if (got <= 0) {
            return false;
        }
        count -= static_cast<size_t>(got);
    }
    return true;
}

std::string burstCommand() {
    std::ostringstream hex;
    hex << "send ";
    char frame[16];
    for (int index = 0; index < kBurstFrames; ++index) {
        std::snprintf(frame, sizeof frame, "%02X03%02X%02X00", kAddress, kBurstCommand,
                      index & 0xFF);
        hex << frame;
    }
    return hex.str();
}

uint8_t isModelReply(const vPacket *packet, const void *) {
    return packet->address == kAddress && packet->dataSize == 4 && packet->data[0] == cmdSYSTEM &&
           packet->data[1] == kModelOption;
}

uint8_t countBurstFrame(const vPacket *packet, void *ref) {
    if (packet->dataSize != 3 || packet->data[0] != kBurstCommand) {
        return 0;
    }
    static_cast<std::atomic<int> *>(ref)->fetch_add(1);
    return 1;
}

struct Devices {
    SimDeviceProcess bare{SimDeviceProcess::Transport::tcp, deviceOptions()};
    SimDeviceProcess engine{SimDeviceProcess::Transport::tcp, deviceOptions()};
    int bareSocket = -1;
    int32_t link = 0;
};
Devices *devices = nullptr;

void BM_RoundTrip_BareSocket(benchmark::State &state) {
    for (auto _ : state) {
        send(devices->bareSocket, kRequest, sizeof kRequest, 0);
        if (!receiveExactly(devices->bareSocket, kReplySize)) {
            state.SkipWithError("no reply");
            return;
        }
    }
}

void BM_RoundTrip_Engine(benchmark::State &state) {
    vPacket *request = vPacket_CreateWithData(kAddress, sizeof kRequest - 2, kRequest + 2);
    for (auto _ : state) {
        vLink_PutPacket(devices->link, request);
        vPacket *reply = vLink_AwaitFirst(devices->link, isModelReply, nullptr, 1000);
        if (reply == nullptr) {
            state.SkipWithError("no reply");
            break;
        }
        vPacket_Destroy(&reply);
    }
    vPacket_Destroy(&request);
}

void BM_Receive_BareSocket(benchmark::State &state) {
    const std::string command = burstCommand();
    for (auto _ : state) {
        devices->bare.command(command);
        if (!receiveExactly(devices->bareSocket, kBurstFrames * kBurstFrameSize)) {
            state.SkipWithError("burst lost");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kBurstFrames);
}

void BM_Receive_Engine(benchmark::State &state) {
    const std::string command = burstCommand();
    std::atomic<int> received{0};
    vLink_InstallUserPacketFilter(devices->link, countBurstFrame, &received);
    for (auto _ : state) {
        received = 0;
        devices->engine.command(command);
        while (received < kBurstFrames) {
            std::this_thread::yield();
        }
    }
    vLink_InstallUserPacketFilter(devices->link, nullptr, nullptr);
    state.SetItemsProcessed(state.iterations() * kBurstFrames);
}

BENCHMARK(BM_RoundTrip_BareSocket)->UseRealTime();
BENCHMARK(BM_RoundTrip_Engine)->UseRealTime();
BENCHMARK(BM_Receive_BareSocket)->UseRealTime();
BENCHMARK(BM_Receive_Engine)->UseRealTime();

// Keeps every run's time per iteration, so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            // The name without its "/real_time" suffix.
            std::string name = run.benchmark_name();
            times[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// CPU seconds the process uses while it sleeps for `duration`.
double idleCpuSeconds(std::chrono::seconds duration) {
    const double before = processCpuSeconds();
    std::this_thread::sleep_for(duration);
    return processCpuSeconds() - before;
}

void printRatio(const RatioReporter &reporter, const char *what, const std::string &engine,
                const std::string &floor) {
    const double engineTime = reporter.times.at(engine);
    const double floorTime = reporter.times.at(floor);
    std::printf("%-34s engine %10.1f us  bare socket %10.1f us  ratio %.2f\n", what,
                engineTime / 1e3, floorTime / 1e3, engineTime / floorTime);
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    Devices all;
    devices = &all;
    // The process's own idle cost before any link exists: the floor of the idle figure.
    const double floorCpu = idleCpuSeconds(std::chrono::seconds(2)) * 5;
    all.bareSocket = connectBare(all.bare.port());
    all.link = vLink_CreateTCPIP(loopbackAddress(), all.engine.port());
    if (all.bareSocket < 0 || all.link == 0) {
        std::fprintf(stderr, "the simulated devices could not be reached\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n");
    printRatio(reporter, "request/reply round trip", "BM_RoundTrip_Engine",
               "BM_RoundTrip_BareSocket");
    const double perBurst = static_cast<double>(kBurstFrames);
    const double enginePps = perBurst / (reporter.times.at("BM_Receive_Engine") / 1e9);
    const double barePps = perBurst / (reporter.times.at("BM_Receive_BareSocket") / 1e9);
    std::printf("%-34s engine %10.0f /s  bare socket %10.0f /s  ratio %.2f\n",
                "packets received per second", enginePps, barePps, enginePps / barePps);

    const double linkCpu = idleCpuSeconds(kIdleTime);
    std::printf("%-34s %.4f s CPU over %lld s (%.3f%% of one core); before any link "
                "%.4f s (2 s scaled to 10)\n",
                "idle open link", linkCpu, static_cast<long long>(kIdleTime.count()),
                100.0 * linkCpu / static_cast<double>(kIdleTime.count()), floorCpu);

    vLink_Destroy(&all.link);
    close(all.bareSocket);
    benchmark::Shutdown();
    return 0;
}
