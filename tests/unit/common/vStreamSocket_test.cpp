#include <quillmark/vStream.h>

#include "support/LoopbackListener.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

class SocketStreamTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (stream != nullptr) {
            vStream_Destroy(&stream);
        }
        for (int connection : connections) {
            close(connection);
        }
    }
    void connect() {
        ASSERT_EQ(vStream_CreateSocket(LoopbackListener::address(), server.port(), &stream),
                  vErrNone);
        acceptNext();
    }
    void acceptNext() {
        int connection = server.accept();
        ASSERT_GE(connection, 0);
        connections.push_back(connection);
    }
    int peer() const { return connections.back(); }
    // Reads count bytes, waiting for each as the link engine does.
    std::string streamReads(size_t count) {
        std::string got;
        for (int attempt = 0; attempt < 100 && got.size() < count; ++attempt) {
            uint8_t byte = 0;
            vErr result = vStream_Read(stream, &byte, 1);
            if (result == vErrNone) {
                got.push_back(static_cast<char>(byte));
            } else if (result == vErrNotReady) {
                vStream_WaitReadable(stream, 50);
            } else {
                break;
            }
        }
        return got;
    }

    LoopbackListener server;
    std::vector<int> connections;
    vStream *stream = nullptr;
};

TEST_F(SocketStreamTest, NoListenerMeansNoStream) {
    server.close();
    vStream *out = reinterpret_cast<vStream *>(this);
    EXPECT_EQ(vStream_CreateSocket(LoopbackListener::address(), server.port(), &out), vErrResource);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(vStream_CreateSocket(LoopbackListener::address(), server.port(), nullptr),
              vErrResource);
}

TEST_F(SocketStreamTest, BytesTravelBothWaysAndAnIdleSocketIsNotReady) {
    connect();
    uint8_t byte = 0;
    EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrNotReady);
    EXPECT_EQ(vStream_WaitReadable(stream, 20), vErrTimeout);
    const uint8_t frame[] = {0x06, 0x03, 0x10, 0x20, 0x30};
    ASSERT_EQ(vStream_Write(stream, frame, sizeof frame), vErrNone);
    EXPECT_EQ(LoopbackListener::read(peer(), 5), std::string("\x06\x03\x10\x20\x30", 5));
    ASSERT_TRUE(LoopbackListener::write(peer(), std::string("\x08\x00\x08\x00", 4)));
    ASSERT_EQ(vStream_WaitReadable(stream, 2000), vErrNone);
    uint8_t reply[4] = {};
    ASSERT_EQ(vStream_Read(stream, reply, 4), vErrNone);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(reply), 4), std::string("\x08\x00\x08\x00", 4));
}

TEST_F(SocketStreamTest, ManyBytesArriveInOrder) {
    connect();
    std::string sent;
    for (int i = 0; i < 5000; ++i) {
        sent.push_back(static_cast<char>(i * 7));
    }
    ASSERT_TRUE(LoopbackListener::write(peer(), sent));
    std::string got;
    while (got.size() < sent.size()) {
        std::string more = streamReads(sent.size() - got.size());
        if (more.empty()) {
            break;
        }
        got += more;
    }
    EXPECT_EQ(got, sent);
}

TEST_F(SocketStreamTest, APeerThatEndsTheConnectionIsReconnected) {
    struct Case {
        const char *name;
        bool reset;
    };
    for (const Case c : {Case{"orderly end", false}, Case{"reset", true}}) {
        connect();
        if (c.reset) {
            LoopbackListener::reset(peer());
        } else {
            close(peer());
        }
        connections.pop_back();
        EXPECT_EQ(vStream_WaitReadable(stream, 2000), vErrNone) << c.name;
        uint8_t byte = 0;
        EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrNotReady) << c.name;
        acceptNext();
        ASSERT_TRUE(LoopbackListener::write(peer(), "again"));
        EXPECT_EQ(streamReads(5), "again") << c.name;
        vStream_Destroy(&stream);
    }
}

TEST_F(SocketStreamTest, AWriteAfterAResetGoesOutOnANewConnection) {
    connect();
    LoopbackListener::reset(peer());
    connections.pop_back();
    ASSERT_EQ(vStream_Write(stream, reinterpret_cast<const uint8_t *>("frame"), 5), vErrNone);
    acceptNext();
    EXPECT_EQ(LoopbackListener::read(peer(), 5), "frame");
}

TEST_F(SocketStreamTest, AFailedReconnectLeavesTheStreamDisconnected) {
    connect();
    server.close();
    LoopbackListener::reset(peer());
    connections.pop_back();
    uint8_t byte = 0;
    ASSERT_EQ(vStream_WaitReadable(stream, 2000), vErrNone);
    EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrConnection);
    EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrConnection);
    EXPECT_EQ(vStream_WaitReadable(stream, 2000), vErrNone) << "the next read answers at once";
    EXPECT_EQ(vStream_Write(stream, &byte, 1), vErrConnection);
}

TEST_F(SocketStreamTest, AWriteThePeerNeverTakesGivesUpAndSaysSo) {
    connect();
    std::vector<uint8_t> flood(64 * 1024 * 1024, 0x5A);
    EXPECT_EQ(vStream_Write(stream, flood.data(), static_cast<uint32_t>(flood.size())), vErrBusy);
}

} // namespace
