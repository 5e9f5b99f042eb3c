#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Runs tests/peers/update_server.py on 127.0.0.1 for one test: started by the constructor from
// a catalogue given as JSON text, stopped by the destructor. Files the catalogue names by a
// relative path are looked up in directory().
class UpdateServerProcess {
  public:
    explicit UpdateServerProcess(const std::string &catalogueJson);
    ~UpdateServerProcess();
    UpdateServerProcess(const UpdateServerProcess &) = delete;
    UpdateServerProcess &operator=(const UpdateServerProcess &) = delete;

    uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>/cgi/u"
    std::string baseUrl() const;
    // A scratch directory that lives as long as the server.
    const std::string &directory() const { return directory_; }

    // The request targets (path and query) received so far, in order.
    std::vector<std::string> requests() const;

    // Makes every later request with op=<op> ("*": every operation) fail the given way;
    // settings are further query pairs, e.g. "mode=status&status=503".
    void setFault(const std::string &op, const std::string &settings);
    void clearFaults();

  private:
    void control(const std::string &pathAndQuery);
    void stop();
    void waitForPort();

    std::string directory_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

// A loopback port on which nothing listens (bound once by the OS, then released).
uint16_t unusedLoopbackPort();
