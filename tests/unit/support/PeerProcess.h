#pragma once
#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

// A peer from tests/peers/ run as a child process that takes one command per line on its
// standard input and answers one line each on its standard output. The destructor quits it.
class PeerProcess {
  public:
    // Starts python3 on the script with the arguments and reads the first line it prints.
    PeerProcess(const std::string &script, const std::vector<std::string> &arguments);
    ~PeerProcess();
    PeerProcess(const PeerProcess &) = delete;
    PeerProcess &operator=(const PeerProcess &) = delete;

    bool running() const { return child_ > 0; }
    // The first line the peer printed, such as its "ready ..." line; empty when it printed none.
    const std::string &firstLine() const { return firstLine_; }
    // Sends one command line and answers the reply line; empty when the peer is not running.
    std::string command(const std::string &line);
    // Sends "quit" and waits for the peer to end; nothing when it is not running.
    void quit();
    // Ends a peer that did not start as it should.
    void kill();

  private:
    pid_t child_ = -1;
    std::FILE *toPeer_ = nullptr;
    std::FILE *fromPeer_ = nullptr;
    std::string firstLine_;
};
