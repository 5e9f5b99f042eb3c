#include "support/PeerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

} // namespace

PeerProcess::PeerProcess(const std::string &script, const std::vector<std::string> &arguments) {
    std::vector<std::string> command = {"python3", std::string(QM_PEERS_DIR) + "/" + script};
    command.insert(command.end(), arguments.begin(), arguments.end());
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0) {
        return;
    }
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(input[0]);
        close(input[1]);
        return;
    }
    child_ = fork();
    if (child_ == 0) {
        dup2(input[0], 0);
        dup2(output[1], 1);
        std::vector<char *> argv;
        for (std::string &word : command) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        execvp("python3", argv.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    toPeer_ = fdopen(input[1], "w");
    fromPeer_ = fdopen(output[0], "r");
    firstLine_ = readLine(fromPeer_);
}

PeerProcess::~PeerProcess() {
    quit();
    if (toPeer_ != nullptr) {
        std::fclose(toPeer_);
    }
    if (fromPeer_ != nullptr) {
        std::fclose(fromPeer_);
    }
}

void PeerProcess::quit() {
    if (running()) {
        std::fputs("quit\n", toPeer_);
        std::fflush(toPeer_);
        waitpid(child_, nullptr, 0);
        child_ = -1;
    }
}

std::string PeerProcess::command(const std::string &line) {
    if (!running()) {
        return "";
    }
    std::fputs((line + "\n").c_str(), toPeer_);
    std::fflush(toPeer_);
    return readLine(fromPeer_);
}

void PeerProcess::kill() {
    if (running()) {
        ::kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
        child_ = -1;
    }
}
