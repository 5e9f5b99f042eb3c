#pragma once
#include <cstdio>
#include <string>
#include <sys/types.h>

// Runs the simulated USB bus (tests/peers/usb_bus_sim.py) in a child process on a Unix socket in
// a fresh temporary directory, and points the library at it through QM_USB_SIM for the
// object's lifetime.
class UsbBusSimulator {
  public:
    UsbBusSimulator();
    UsbBusSimulator(const UsbBusSimulator &) = delete;
    UsbBusSimulator &operator=(const UsbBusSimulator &) = delete;
    ~UsbBusSimulator();

    bool running() const { return child_ > 0; }
    const std::string &socketPath() const { return socketPath_; }
    // Sends one control line ("add 40F5849A", "unplug 40F5849A", ...); true when it answered ok.
    bool command(const std::string &line);

  private:
    std::string directory_;
    std::string socketPath_;
    pid_t child_ = -1;
    std::FILE *toSimulator_ = nullptr;
    std::FILE *fromSimulator_ = nullptr;
};
