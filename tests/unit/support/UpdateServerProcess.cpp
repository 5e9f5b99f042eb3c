#include "support/UpdateServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char **environ;

namespace {

std::string makeScratchDirectory() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "update-server-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    return pattern;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t discardBody(char *, size_t size, size_t count, void *) {
    return size * count;
}

} // namespace

UpdateServerProcess::UpdateServerProcess(const std::string &catalogueJson)
    : directory_(makeScratchDirectory()) {
    std::ofstream(directory_ + "/catalogue.json") << catalogueJson;
    std::string script = std::string(QM_PEERS_DIR) + "/update_server.py";
    std::string catalogue = directory_ + "/catalogue.json";
    std::string portFile = directory_ + "/port";
    std::string log = directory_ + "/requests.log";
    std::vector<char *> argv = {const_cast<char *>("python3"),
                                script.data(),
                                const_cast<char *>("--catalogue"),
                                catalogue.data(),
                                const_cast<char *>("--port-file"),
                                portFile.data(),
                                const_cast<char *>("--log"),
                                log.data(),
                                nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    int failed = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        std::filesystem::remove_all(directory_);
        throw std::runtime_error("could not start the update server");
    }
    try {
        waitForPort();
    } catch (...) {
        stop();
        throw;
    }
}

UpdateServerProcess::~UpdateServerProcess() {
    stop();
}

void UpdateServerProcess::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

void UpdateServerProcess::waitForPort() {
    const std::string portFile = directory_ + "/port";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string text = readFile(portFile);
        if (!text.empty()) {
            port_ = static_cast<uint16_t>(std::stoi(text));
            return;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("the update server stopped before listening");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("the update server did not start listening");
}

std::string UpdateServerProcess::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/cgi/u";
}

std::vector<std::string> UpdateServerProcess::requests() const {
    std::vector<std::string> lines;
    std::istringstream log(readFile(directory_ + "/requests.log"));
    for (std::string line; std::getline(log, line);) {
        lines.push_back(line);
    }
    return lines;
}

void UpdateServerProcess::setFault(const std::string &op, const std::string &settings) {
    control("/control/fault?op=" + op + "&" + settings);
}

void UpdateServerProcess::clearFaults() {
    control("/control/clear");
}

void UpdateServerProcess::control(const std::string &pathAndQuery) {
    std::string url = "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
    CURL *curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &discardBody);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK || status != 200) {
        throw std::runtime_error("update server control request failed: " + pathAndQuery);
    }
}

uint16_t unusedLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}
