#include "support/SimDeviceProcess.h"
#include "support/Polling.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace {

std::vector<std::string> words(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> all;
    for (std::string word; in >> word;) {
        all.push_back(word);
    }
    return all;
}

std::vector<std::string> transportArguments(SimDeviceProcess::Transport transport,
                                            const std::string &usbSocket) {
    switch (transport) {
    case SimDeviceProcess::Transport::tcp:
        return {"--tcp"};
    case SimDeviceProcess::Transport::pty:
        return {"--pty"};
    case SimDeviceProcess::Transport::usb:
        return {"--usb-socket", usbSocket};
    }
    return {};
}

} // namespace

SimDeviceProcess::SimDeviceProcess(Transport transport, std::vector<std::string> extraArguments) {
    char pattern[] = "/tmp/qm-simdev-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return;
    }
    directory_ = pattern;
    const std::string socketPath = directory_ + "/usb.sock";
    std::vector<std::string> arguments = transportArguments(transport, socketPath);
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    peer_ = std::make_unique<PeerProcess>("sim_device.py", arguments);
    std::vector<std::string> ready = words(peer_->firstLine());
    if (ready.size() < 3 || ready[0] != "ready") {
        peer_->kill();
        return;
    }
    if (ready[1] == "tcp" && ready.size() >= 4) {
        port_ = static_cast<uint16_t>(std::stoi(ready[3]));
    } else if (ready[1] == "pty") {
        ptyPath_ = ready[2];
    } else if (ready[1] == "usb") {
        usbSocket_ = socketPath;
        setenv("QM_USB_SIM", usbSocket_.c_str(), 1);
    }
}

SimDeviceProcess::~SimDeviceProcess() {
    if (!usbSocket_.empty()) {
        unsetenv("QM_USB_SIM");
    }
    peer_.reset();
    if (!directory_.empty()) {
        unlink((directory_ + "/usb.sock").c_str());
        rmdir(directory_.c_str());
    }
}

void SimDeviceProcess::quit() {
    if (running()) {
        peer_->quit();
    }
}

std::string SimDeviceProcess::command(const std::string &line) {
    return running() ? peer_->command(line) : "";
}

std::map<std::string, long> SimDeviceProcess::stats() {
    std::map<std::string, long> counters;
    for (const std::string &word : words(command("stats"))) {
        size_t equals = word.find('=');
        if (equals != std::string::npos) {
            counters[word.substr(0, equals)] = std::stol(word.substr(equals + 1));
        }
    }
    return counters;
}

std::vector<std::string> SimDeviceProcess::frames() {
    std::vector<std::string> all = words(command("frames"));
    if (!all.empty()) {
        all.erase(all.begin());
    }
    return all;
}

bool SimDeviceProcess::awaitStat(const std::string &name, long least, int timeoutMs) {
    return pollUntil([&] { return stats()[name] >= least; }, timeoutMs, 10);
}

uint32_t loopbackAddress() {
    return htonl(INADDR_LOOPBACK);
}

size_t countProcEntries(const char *folder) {
    std::string path = std::string("/proc/self/") + folder;
    DIR *directory = opendir(path.c_str());
    if (directory == nullptr) {
        return 0;
    }
    size_t count = 0;
    while (dirent *entry = readdir(directory)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(directory);
    // The listing's own descriptor is not the process's.
    return std::string(folder) == "fd" ? count - 1 : count;
}
