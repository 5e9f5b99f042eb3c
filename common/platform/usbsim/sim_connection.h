#pragma once
// One connection to the simulated USB bus, and the framing of its messages (the protocol is
// described in usb_sim_client.cpp).

#include <quillmark/vErr.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// A request being built: its code, then big-endian fields.
class SimMessage {
  public:
    explicit SimMessage(std::uint8_t code) : bytes_{code} {}
    std::uint8_t code() const { return bytes_[0]; }
    const std::vector<std::uint8_t> &bytes() const { return bytes_; }

    void u8(std::uint8_t value) { bytes_.push_back(value); }
    void u16(std::uint16_t value);
    void u32(std::uint32_t value);
    void bytes(const std::uint8_t *data, std::size_t length);

  private:
    std::vector<std::uint8_t> bytes_;
};

// Takes big-endian fields from the front of a reply; each step is false when too few bytes are
// left.
class SimReader {
  public:
    SimReader() = default;
    explicit SimReader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::size_t remaining() const { return bytes_.size() - position_; }

    bool u8(std::uint8_t *value);
    bool u16(std::uint16_t *value);
    bool u32(std::uint32_t *value);
    bool bytes(std::uint8_t *out, std::size_t length);
    bool skip(std::size_t length);

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

class SimConnection {
  public:
    SimConnection() = default;
    SimConnection(const SimConnection &) = delete;
    SimConnection &operator=(const SimConnection &) = delete;
    ~SimConnection();

    // vErrConnection when no simulator listens at the path.
    vErr open(const char *socketPath);
    // Sends the request and waits at most timeoutMs for its reply. A closed or silent simulator
    // counts as the device being gone (vErrNotFound).
    vErr call(const SimMessage &request, std::vector<std::uint8_t> *reply, std::uint32_t timeoutMs);

  private:
    vErr exchange(const SimMessage &request, std::vector<std::uint8_t> *reply,
                  std::uint32_t timeoutMs);
    void close();
    bool sendAll(const std::uint8_t *data, std::size_t length);
    bool receiveAll(std::uint8_t *data, std::size_t length, std::uint64_t deadlineMs);

    int socket_ = -1;
};

} // namespace platform
