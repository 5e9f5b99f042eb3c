#pragma once
#include "support/PeerProcess.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Runs the simulated device (tests/peers/sim_device.py) in a child process for one test and
// drives it through its standard-input commands. Over USB it serves its own simulated bus, and
// QM_USB_SIM points the library at that bus for the object's lifetime.
class SimDeviceProcess {
  public:
    enum class Transport { tcp, pty, usb };

    // extraArguments are further command-line options, e.g. {"--heartbeat-ms", "100"}.
    explicit SimDeviceProcess(Transport transport, std::vector<std::string> extraArguments = {});
    ~SimDeviceProcess();
    SimDeviceProcess(const SimDeviceProcess &) = delete;
    SimDeviceProcess &operator=(const SimDeviceProcess &) = delete;

    bool running() const { return peer_ != nullptr && peer_->running(); }
    // TCP: the loopback port it listens on. Pty: the terminal's path for the host side.
    uint16_t port() const { return port_; }
    const std::string &ptyPath() const { return ptyPath_; }

    // Ends the device, as if it were switched off.
    void quit();
    // Sends one command line and answers the reply line ("ok", "stats ...", "error ...").
    std::string command(const std::string &line);
    // The counters of the "stats" command by name; an absent one reads 0.
    std::map<std::string, long> stats();
    // Every frame received so far as upper-case hex text, oldest first.
    std::vector<std::string> frames();
    // Polls the counters every 10 ms until `name` reaches at least `least` or timeoutMs passes.
    bool awaitStat(const std::string &name, long least, int timeoutMs);

  private:
    std::string directory_;
    // Set while QM_USB_SIM names this device's bus.
    std::string usbSocket_;
    std::string ptyPath_;
    uint16_t port_ = 0;
    std::unique_ptr<PeerProcess> peer_;
};

// 127.0.0.1 in network byte order.
uint32_t loopbackAddress();
// Entries of a /proc/self folder ("task", "fd"): the process's threads or open descriptors.
size_t countProcEntries(const char *folder);
