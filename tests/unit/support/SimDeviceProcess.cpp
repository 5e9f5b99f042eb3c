#include "support/SimDeviceProcess.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace {

std::string readLine(std::FILE *stream) {
    char line[65536];
    if (stream == nullptr || std::fgets(line, sizeof line, stream) == nullptr) {
        return "";
    }
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

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
    usbSocket_ = directory_ + "/usb.sock";
    std::vector<std::string> arguments = {"python3", std::string(QM_PEERS_DIR) + "/sim_device.py"};
    for (const std::string &argument : transportArguments(transport, usbSocket_)) {
        arguments.push_back(argument);
    }
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
        return;
    }
    child_ = fork();
    if (child_ == 0) {
        dup2(input[0], 0);
        dup2(output[1], 1);
        std::vector<char *> argv;
        for (std::string &argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        execvp("python3", argv.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    toDevice_ = fdopen(input[1], "w");
    fromDevice_ = fdopen(output[0], "r");
    std::vector<std::string> ready = words(readLine(fromDevice_));
    if (ready.size() < 3 || ready[0] != "ready") {
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
        child_ = -1;
        return;
    }
    if (ready[1] == "tcp" && ready.size() >= 4) {
        port_ = static_cast<uint16_t>(std::stoi(ready[3]));
    } else if (ready[1] == "pty") {
        ptyPath_ = ready[2];
    } else if (ready[1] == "usb") {
        setenv("QM_USB_SIM", usbSocket_.c_str(), 1);
    }
}

SimDeviceProcess::~SimDeviceProcess() {
    if (!usbSocket_.empty()) {
        unsetenv("QM_USB_SIM");
    }
    if (toDevice_ != nullptr) {
        std::fputs("quit\n", toDevice_);
        std::fclose(toDevice_);
    }
    if (child_ > 0) {
        waitpid(child_, nullptr, 0);
    }
    if (fromDevice_ != nullptr) {
        std::fclose(fromDevice_);
    }
    if (!directory_.empty()) {
        unlink(usbSocket_.c_str());
        rmdir(directory_.c_str());
    }
}

std::string SimDeviceProcess::command(const std::string &line) {
    if (!running()) {
        return "";
    }
    std::fputs((line + "\n").c_str(), toDevice_);
    std::fflush(toDevice_);
    return readLine(fromDevice_);
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
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (stats()[name] < least) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
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
