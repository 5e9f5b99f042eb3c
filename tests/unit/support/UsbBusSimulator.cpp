#include "support/UsbBusSimulator.h"

#include <cstdlib>
#include <unistd.h>

UsbBusSimulator::UsbBusSimulator() {
    char pattern[] = "/tmp/qm-usbsim-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return;
    }
    directory_ = pattern;
    socketPath_ = directory_ + "/usb.sock";
    peer_ = std::make_unique<PeerProcess>("usb_bus_sim.py",
                                          std::vector<std::string>{"--socket", socketPath_});
    if (peer_->firstLine() != "ready") {
        peer_->kill();
        return;
    }
    setenv("QM_USB_SIM", socketPath_.c_str(), 1);
}

UsbBusSimulator::~UsbBusSimulator() {
    unsetenv("QM_USB_SIM");
    peer_.reset();
    if (!directory_.empty()) {
        unlink(socketPath_.c_str());
        rmdir(directory_.c_str());
    }
}

bool UsbBusSimulator::command(const std::string &line) {
    return running() && peer_->command(line) == "ok";
}
