#include "support/UsbBusSimulator.h"

#include <cstdlib>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string readLine(std::FILE *stream) {
    char line[256];
    if (stream == nullptr || std::fgets(line, sizeof line, stream) == nullptr) {
        return "";
    }
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

} // namespace

UsbBusSimulator::UsbBusSimulator() {
    char pattern[] = "/tmp/qm-usbsim-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return;
    }
    directory_ = pattern;
    socketPath_ = directory_ + "/usb.sock";
    int input[2];
    int output[2];
    if (pipe(input) != 0 || pipe(output) != 0) {
        return;
    }
    child_ = fork();
    if (child_ == 0) {
        dup2(input[0], 0);
        dup2(output[1], 1);
        close(input[1]);
        close(output[0]);
        std::string script = std::string(QM_PEERS_DIR) + "/usb_bus_sim.py";
        execlp("python3", "python3", script.c_str(), "--socket", socketPath_.c_str(), nullptr);
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    toSimulator_ = fdopen(input[1], "w");
    fromSimulator_ = fdopen(output[0], "r");
    if (readLine(fromSimulator_) != "ready") {
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
        child_ = -1;
        return;
    }
    setenv("QM_USB_SIM", socketPath_.c_str(), 1);
}

UsbBusSimulator::~UsbBusSimulator() {
    unsetenv("QM_USB_SIM");
    if (toSimulator_ != nullptr) {
        std::fputs("quit\n", toSimulator_);
        std::fclose(toSimulator_);
    }
    if (child_ > 0) {
        waitpid(child_, nullptr, 0);
    }
    if (fromSimulator_ != nullptr) {
        std::fclose(fromSimulator_);
    }
    if (!directory_.empty()) {
        unlink(socketPath_.c_str());
        rmdir(directory_.c_str());
    }
}

bool UsbBusSimulator::command(const std::string &line) {
    if (!running()) {
        return false;
    }
    std::fputs((line + "\n").c_str(), toSimulator_);
    std::fflush(toSimulator_);
    return readLine(fromSimulator_) == "ok";
}
