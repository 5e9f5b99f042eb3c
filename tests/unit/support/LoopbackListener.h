#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A TCP listener on 127.0.0.1 at a port the system picks, for tests that play the device's side
// of a socket. Accepted connections are plain descriptors the test reads, writes and closes.
class LoopbackListener {
  public:
    LoopbackListener();
    LoopbackListener(const LoopbackListener &) = delete;
    LoopbackListener &operator=(const LoopbackListener &) = delete;
    ~LoopbackListener();

    uint16_t port() const { return port_; }
    // 127.0.0.1 in network byte order.
    static uint32_t address();

    // The next connection, or -1 when none came within timeoutMs.
    int accept(int timeoutMs = 2000);
    // Stops listening, so that connecting is refused.
    void close();

    // Closes a connection with a reset instead of an orderly end.
    static void reset(int connection);
    // Reads exactly count bytes, or what came before timeoutMs passed.
    static std::string read(int connection, size_t count, int timeoutMs = 2000);
    static bool write(int connection, const std::string &bytes);

  private:
    int listener_ = -1;
    uint16_t port_ = 0;
};
