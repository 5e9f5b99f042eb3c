#include "support/StdoutCapture.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

std::string drain(int descriptor) {
    std::string bytes;
    char chunk[4096];
    pollfd ready{descriptor, POLLIN, 0};
    while (poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN)) {
        ssize_t count = read(descriptor, chunk, sizeof chunk);
        if (count <= 0) {
            break;
        }
        bytes.append(chunk, static_cast<size_t>(count));
    }
    return bytes;
}

struct Sink {
    int reader;
    int writer;
};

Sink openTerminal() {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    // Raw mode keeps the bytes as written (no "\n" to "\r\n").
    termios mode{};
    tcgetattr(slave, &mode);
    cfmakeraw(&mode);
    tcsetattr(slave, TCSANOW, &mode);
    return {master, slave};
}

Sink openFile() {
    char name[] = "/tmp/qm-stdout-XXXXXX";
    int descriptor = mkstemp(name);
    if (descriptor < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    unlink(name);
    return {descriptor, descriptor};
}

} // namespace

std::string captureStdout(bool terminal, const std::function<void()> &body) {
    std::fflush(stdout);
    Sink sink = terminal ? openTerminal() : openFile();
    int saved = dup(STDOUT_FILENO);
    dup2(sink.writer, STDOUT_FILENO);
    body();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string bytes;
    if (terminal) {
        bytes = drain(sink.reader);
        close(sink.writer);
    } else {
        lseek(sink.reader, 0, SEEK_SET);
        bytes = drain(sink.reader);
    }
    close(sink.reader);
    return bytes;
}
