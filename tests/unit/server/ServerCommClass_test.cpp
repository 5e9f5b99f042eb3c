#include "Base64.h"
#include "Messages.h"
#include "ServerCommClass.h"
#include "support/DebugCapture.h"
#include "support/UpdateServerProcess.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <functional>
#include <future>

namespace {

constexpr char kCatalogue[] = R"({
  "devices": {
    "40F5849A": {
      "current": "1001",
      "fw": "FW-40F5849A",
      "builds": {"1000": "1.2.3", "1001": "1.10.0"},
      "birds": {"1001": {"text": "ABC"}, "1000": {"text": "build one thousand"},
                "1002": {"text": "a build that arrives a few bytes at a time, 0123456789"}}
    },
    "00000001": {
      "current": "7",
      "fw": "F",
      "builds": ["123;1.2.3", "x", "124;1.10.0", "125", "124;9.9.9", "ab", "abc;1.0.0"]
    }
  },
  "fingerprints": {
    "00000001 00000002 00000003 00000004": {"serial": "40F5849A", "build": "0x10"},
    "00000005 00000006 00000007 00000008": {"serial": "abcdef01", "build": "020"},
    "00000009 0000000A 0000000B 0000000C": {"serial": "0x00000002", "build": "42"},
    "FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF": {"serial": "40F5849A", "build": "zz"}
  }
})";

constexpr uint32_t kSerial = 0x40F5849A;

class ServerCommTest : public testing::Test {
  protected:
    const char *base() const { return url.c_str(); }

    UpdateServerProcess server{kCatalogue};
    std::string url = server.baseUrl();
    ServerCommClass client;
};

// One request operation with sentinel outputs, so a test can see that a failure wrote nothing.
struct Operation {
    const char *name;
    const char *op;
    std::function<bool(const ServerCommClass &, const char *)> run;
};

const std::vector<Operation> &operations() {
    static const std::vector<Operation> all = {
        {"ping", "hi", [](const ServerCommClass &c, const char *u) { return c.ping(u); }},
        {"QueryBuild", "qu",
         [](const ServerCommClass &c, const char *u) {
             std::string build = "unchanged", fw = "unchanged";
             bool ok = c.QueryBuild(kSerial, build, fw, u);
             EXPECT_EQ(build, "unchanged");
             EXPECT_EQ(fw, "unchanged");
             return ok;
         }},
        {"GetBuildList", "builds",
         [](const ServerCommClass &c, const char *u) {
             BuildList builds = {{"1", "stale"}};
             bool ok = c.GetBuildList(kSerial, builds, u);
             EXPECT_TRUE(builds.empty());
             return ok;
         }},
        {"GetBuild", "bird",
         [](const ServerCommClass &c, const char *u) {
             std::string text = "stale";
             bool ok = c.GetBuild(kSerial, "FW-40F5849A", "1001", text, u, false);
             EXPECT_EQ(text, "");
             return ok;
         }},
        {"GetRecoveryInfo", "fix",
         [](const ServerCommClass &c, const char *u) {
             uint32_t serial = 7, build = 9;
             bool ok = c.GetRecoveryInfo({1, 2, 3, 4}, serial, build, u);
             EXPECT_EQ(serial, 7u);
             EXPECT_EQ(build, 9u);
             return ok;
         }},
    };
    return all;
}

std::string statusMessage(const Operation &operation, int status, const char *body) {
    std::string name = std::string(operation.name) == "ping" ? "PING" : operation.name;
    return name + " ==> [" + std::to_string(status) + "] [" + body + "]\n";
}

std::string notOkMessage(const Operation &operation, const std::string &url) {
    return std::string("ServerCommClass: ") + operation.name + " failed [" + url + "?";
}

std::string transportMessage(const Operation &operation, CURLcode code) {
    return std::string(operation.name) + " ==> [" + curl_easy_strerror(code) + "]\n";
}

void expectFailureLogged(const Operation &operation, const ServerCommClass &client, const char *url,
                         const std::string &message) {
    DebugCapture debug(DEBUG_ServerComm);
    EXPECT_FALSE(operation.run(client, url));
    EXPECT_NE(debug.text().find(message), std::string::npos) << debug.text();
}

} // namespace

TEST_F(ServerCommTest, PingSendsOpHiAndRv2) {
    EXPECT_TRUE(client.ping(base()));
    EXPECT_EQ(server.requests(), std::vector<std::string>{"/cgi/u?op=hi&rv=2&"});
}

TEST_F(ServerCommTest, QueryBuildReadsCurrentBuildAndFwText) {
    std::string build, fw;
    ASSERT_TRUE(client.QueryBuild(kSerial, build, fw, base()));
    EXPECT_EQ(build, "1001");
    EXPECT_EQ(fw, "FW-40F5849A");
    ASSERT_FALSE(client.QueryBuild(0xAB, build, fw, base())); // unknown device: not "ok"
    EXPECT_EQ(server.requests(),
              (std::vector<std::string>{"/cgi/u?op=qu&sn=40F5849A&", "/cgi/u?op=qu&sn=000000AB&"}));
}

TEST_F(ServerCommTest, GetBuildListReadsEveryEntry) {
    BuildList builds;
    ASSERT_TRUE(client.GetBuildList(kSerial, builds, base()));
    EXPECT_EQ(builds, (BuildList{{"1000", "1.2.3"}, {"1001", "1.10.0"}}));
    EXPECT_EQ(server.requests(), std::vector<std::string>{"/cgi/u?op=builds&sn=40F5849A&"});
}

TEST_F(ServerCommTest, GetBuildListLineRules) {
    DebugCapture debug(DEBUG_ServerComm);
    BuildList builds;
    ASSERT_TRUE(client.GetBuildList(1, builds, base()));
    // "x" and "ab" are too short; the second 124 keeps the first version; "125" has none.
    EXPECT_EQ(builds,
              (BuildList{{"123", "1.2.3"}, {"124", "1.10.0"}, {"125", ""}, {"abc", "1.0.0"}}));
    EXPECT_NE(debug.text().find("GetBuildList processing entry: [124;9.9.9]\n"), std::string::npos);
    EXPECT_NE(debug.text().find("GetBuildList [124][9.9.9]\n"), std::string::npos);
    EXPECT_EQ(debug.text().find("processing entry: [x]"), std::string::npos);
}

TEST_F(ServerCommTest, GetBuildListAcceptsCarriageReturns) {
    server.setFault("builds", "mode=body&body=ok%0D%0A200;2.0.1%0D%0A201;1.0.0123456789ab%0D%0A");
    DebugCapture debug(DEBUG_ServerComm);
    BuildList builds;
    ASSERT_TRUE(client.GetBuildList(kSerial, builds, base()));
    EXPECT_EQ(builds, (BuildList{{"200", "2.0.1"}, {"201", "1.0.0123456789ab"}}));
    EXPECT_NE(debug.text().find("GetBuildList [201][1.0.012345]\n"), std::string::npos);
}

TEST_F(ServerCommTest, GetBuildSendsParametersInKeyOrder) {
    std::string text;
    ASSERT_TRUE(client.GetBuild(kSerial, "FW-40F5849A", "1001", text, base(), false));
    EXPECT_EQ(text, "QUJD");
    ASSERT_TRUE(client.GetBuild(kSerial, "FW-40F5849A", "1000", text, base(), true));
    size_t length = 0;
    auto bytes = base64Decode(text.data(), text.size(), length);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(bytes.get()), length), "build one thousand");
    EXPECT_EQ(server.requests(),
              (std::vector<std::string>{
                  "/cgi/u?bld=1001&fw=FW-40F5849A&no_cal=false&op=bird&sn=40F5849A&",
                  "/cgi/u?bld=1000&fw=FW-40F5849A&no_cal=true&op=bird&sn=40F5849A&"}));
}

TEST_F(ServerCommTest, GetRecoveryInfoSendsTheFingerprintJoinedBy20) {
    uint32_t serial = 0, build = 0;
    ASSERT_TRUE(client.GetRecoveryInfo({1, 2, 3, 4}, serial, build, base()));
    EXPECT_EQ(serial, kSerial);
    EXPECT_EQ(build, 16u);
    EXPECT_EQ(server.requests(),
              std::vector<std::string>{
                  "/cgi/u?brief=true&fp=00000001%2000000002%2000000003%2000000004&op=fix&"});
}

TEST_F(ServerCommTest, GetRecoveryInfoNumberBases) {
    struct Case {
        std::array<uint32_t, 4> fingerprint;
        uint32_t serial, build;
    };
    const Case cases[] = {
        {{1, 2, 3, 4}, 0x40F5849A, 16}, // build "0x10": hexadecimal
        {{5, 6, 7, 8}, 0xABCDEF01, 16}, // build "020": octal; serial in lower case
        {{9, 10, 11, 12}, 0x2, 42},     // build "42": decimal; serial with "0x"
    };
    for (const Case &c : cases) {
        uint32_t serial = 0, build = 0;
        EXPECT_TRUE(client.GetRecoveryInfo(c.fingerprint, serial, build, base()));
        EXPECT_EQ(serial, c.serial);
        EXPECT_EQ(build, c.build);
    }
}

TEST_F(ServerCommTest, GetRecoveryInfoRefusesABuildThatIsNotANumber) {
    DebugCapture debug(DEBUG_ServerComm);
    uint32_t serial = 7, build = 9;
    EXPECT_FALSE(client.GetRecoveryInfo({~0u, ~0u, ~0u, ~0u}, serial, build, base()));
    EXPECT_EQ(serial, 7u);
    EXPECT_EQ(build, 9u);
    EXPECT_NE(debug.text().find("GetRecoveryInfo [ok][40F5849A][zz]\n"), std::string::npos);
    EXPECT_NE(debug.text().find("ServerCommClass: GetRecoveryInfo failed [" + url),
              std::string::npos);
}

TEST_F(ServerCommTest, IsBuildAvailableLooksTheBuildUp) {
    EXPECT_TRUE(client.isBuildAvailable(kSerial, 1001, base()));
    EXPECT_TRUE(client.isBuildAvailable(kSerial, 1000, base()));
    EXPECT_FALSE(client.isBuildAvailable(kSerial, 1002, base()));
    EXPECT_FALSE(client.isBuildAvailable(0xAB, 1001, base()));
}

TEST_F(ServerCommTest, IsBuildAvailableNeverMatchesABuildTextThatIsNotANumber) {
    DebugCapture debug(DEBUG_Updater);
    EXPECT_FALSE(client.isBuildAvailable(1, 0, base()));
    EXPECT_TRUE(client.isBuildAvailable(1, 124, base()));
    EXPECT_NE(debug.text().find("Error: Could not convert abc to int.\n"), std::string::npos);
}

TEST_F(ServerCommTest, FirstLineMustBeginWithLowerCaseOk) {
    struct Case {
        const char *body; // URL-encoded
        bool accepted;
    };
    const Case cases[] = {
        {"ok", true},          {"ok%0D%0A", true},    {"okay", true},
        {"%0A%0Aok%0A", true}, {"OK", false},         {"", false},
        {"o", false},          {"no%0Aok%0A", false}, {"%20ok%0A", false},
    };
    for (const Case &c : cases) {
        server.setFault("hi", std::string("mode=body&body=") + c.body);
        EXPECT_EQ(client.ping(base()), c.accepted) << c.body;
    }
}

TEST_F(ServerCommTest, QueryBuildCutsTheFwTextAtACarriageReturn) {
    server.setFault("qu", "mode=body&body=ok%0D%0A1001%0D%0AFW-1%0D%0A");
    std::string build, fw;
    ASSERT_TRUE(client.QueryBuild(kSerial, build, fw, base()));
    EXPECT_EQ(build, "1001\r"); // the build line is taken up to its line feed
    EXPECT_EQ(fw, "FW-1");
}

TEST_F(ServerCommTest, MissingLinesLeaveOutputsAsTheyWere) {
    server.setFault("*", "mode=empty");
    std::string build = "b", fw = "f", text = "stale";
    EXPECT_TRUE(client.QueryBuild(kSerial, build, fw, base()));
    EXPECT_EQ(build, "b");
    EXPECT_EQ(fw, "f");
    EXPECT_TRUE(client.GetBuild(kSerial, "FW-40F5849A", "1001", text, base(), false));
    EXPECT_EQ(text, "");
    uint32_t serial = 7, number = 9;
    EXPECT_TRUE(client.GetRecoveryInfo({1, 2, 3, 4}, serial, number, base()));
    EXPECT_EQ(serial, 7u);
    EXPECT_EQ(number, 9u);
}

TEST_F(ServerCommTest, GarbledPayloadIsRefusedByTheDecoder) {
    server.setFault("bird", "mode=garbled");
    std::string text;
    ASSERT_TRUE(client.GetBuild(kSerial, "FW-40F5849A", "1001", text, base(), false));
    size_t length = 0;
    EXPECT_EQ(base64Decode(text.data(), text.size(), length), nullptr);
}

TEST_F(ServerCommTest, EveryOperationFailsOnEachServerFault) {
    struct Case {
        const char *settings;
        std::function<std::string(const Operation &)> message;
    };
    const Case cases[] = {
        {"mode=status&status=503&body=busy",
         [](const Operation &operation) { return statusMessage(operation, 503, "busy"); }},
        {"mode=notok", [&](const Operation &operation) { return notOkMessage(operation, url); }},
        {"mode=emptybody",
         [&](const Operation &operation) { return notOkMessage(operation, url); }},
        {"mode=drop",
         [](const Operation &operation) { return transportMessage(operation, CURLE_GOT_NOTHING); }},
    };
    for (const Case &c : cases) {
        for (const Operation &operation : operations()) {
            SCOPED_TRACE(std::string(operation.name) + " " + c.settings);
            server.setFault(operation.op, c.settings);
            expectFailureLogged(operation, client, base(), c.message(operation));
        }
    }
}

TEST(ServerComm, EveryOperationFailsWhenNothingListens) {
    std::string url = "http://127.0.0.1:" + std::to_string(unusedLoopbackPort()) + "/cgi/u";
    ServerCommClass client;
    for (const Operation &operation : operations()) {
        SCOPED_TRACE(operation.name);
        expectFailureLogged(operation, client, url.c_str(),
                            transportMessage(operation, CURLE_COULDNT_CONNECT));
    }
}

TEST_F(ServerCommTest, ServerGetAnswersAnyStatusAndThrowsOnTransportFailure) {
    ServerReply reply = client.serverGet((server.baseUrl() + "x").c_str(), {});
    EXPECT_EQ(reply.url, server.baseUrl() + "x");
    EXPECT_EQ(reply.status, 404);
    EXPECT_EQ(reply.body, "error not found\n");
    server.setFault("hi", "mode=drop");
    EXPECT_THROW(client.serverGet(base(), {{"op", "hi"}}), std::runtime_error);
}

TEST_F(ServerCommTest, AStalledServerIsAbandonedAfterTheLowSpeedBound) {
    server.setFault("qu", "mode=stall&seconds=60");
    ServerCommClass impatient(ServerLimits{2, 1, 1});
    DebugCapture debug(DEBUG_ServerComm);
    std::string build = "b", fw = "f";
    EXPECT_FALSE(impatient.QueryBuild(kSerial, build, fw, base()));
    EXPECT_NE(debug.text().find(std::string("QueryBuild ==> [") +
                                curl_easy_strerror(CURLE_OPERATION_TIMEDOUT) + "]\n"),
              std::string::npos)
        << debug.text();
}

TEST_F(ServerCommTest, ASlowDownloadThatKeepsMovingIsNotCut) {
    // 76 bytes, 8 every 0.25 s: about 2.5 s in all against a 2 s low-speed bound.
    server.setFault("bird", "mode=trickle&chunk=8&interval=0.25");
    ServerCommClass impatient(ServerLimits{2, 1, 2});
    std::string text;
    ASSERT_TRUE(impatient.GetBuild(kSerial, "FW-40F5849A", "1002", text, base(), false));
    size_t length = 0;
    auto bytes = base64Decode(text.data(), text.size(), length);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(bytes.get()), length),
              "a build that arrives a few bytes at a time, 0123456789");
}

TEST_F(ServerCommTest, ADownloadOnAWorkerDoesNotDisturbOtherRequests) {
    server.setFault("bird", "mode=delay&seconds=0.3");
    std::string text;
    auto download = std::async(std::launch::async, [&] {
        return client.GetBuild(kSerial, "FW-40F5849A", "1001", text, base(), false);
    });
    EXPECT_TRUE(client.ping(base()));
    EXPECT_TRUE(download.get());
    EXPECT_EQ(text, "QUJD");
}

TEST(ServerComm, ReceivedDataIsAppendedAndTracedWithinItsLength) {
    DebugCapture debug(DEBUG_ServerComm);
    ServerReply reply;
    char chunk[] = {'h', 'e', 'l', 'l', 'o'}; // not zero-terminated
    EXPECT_EQ(ServerCommClass::rcv_data(chunk, 1, sizeof chunk, &reply), sizeof chunk);
    EXPECT_EQ(ServerCommClass::rcv_data(chunk, 1, 2, &reply), 2u);
    EXPECT_EQ(reply.body, "hellohe");
    EXPECT_NE(debug.text().find(std::string(95, ' ') + "hello]\n"), std::string::npos);
    EXPECT_NE(debug.text().find("rcv_data returns 5\n"), std::string::npos);
    EXPECT_NE(debug.text().find("rcv_data called (..., 1, 5, "), std::string::npos);
}
