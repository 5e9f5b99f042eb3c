#include <quillmark/vStream.h>

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

// A scripted transport: get hands out the scripted results in order (a byte, or an error), and
// every put and write is recorded.
struct FakeTransport {
    struct Step {
        vErr result;
        uint8_t byte;
    };
    std::deque<Step> script;
    vErr whenScriptEnds = vErrNotReady;
    int getCalls = 0;
    int putCalls = 0;
    int writeCalls = 0;
    int destroyCalls = 0;
    std::vector<uint8_t> sent;

    void bytes(const std::string &text) {
        for (char c : text) {
            script.push_back({vErrNone, static_cast<uint8_t>(c)});
        }
    }
    void error(vErr result) { script.push_back({result, 0}); }
};

vErr fakeGet(uint8_t *byte, void *ref) {
    auto *fake = static_cast<FakeTransport *>(ref);
    ++fake->getCalls;
    if (fake->script.empty()) {
        return fake->whenScriptEnds;
    }
    FakeTransport::Step step = fake->script.front();
    fake->script.pop_front();
    *byte = step.byte;
    return step.result;
}

vErr fakePut(const uint8_t *byte, void *ref) {
    auto *fake = static_cast<FakeTransport *>(ref);
    ++fake->putCalls;
    fake->sent.push_back(*byte);
    return vErrNone;
}

vErr fakeWrite(const uint8_t *buffer, uint32_t length, void *ref) {
    auto *fake = static_cast<FakeTransport *>(ref);
    ++fake->writeCalls;
    fake->sent.insert(fake->sent.end(), buffer, buffer + length);
    return vErrNone;
}

vErr fakeDestroy(void *ref) {
    ++static_cast<FakeTransport *>(ref)->destroyCalls;
    return vErrNone;
}

class StreamTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (stream != nullptr) {
            vStream_Destroy(&stream);
        }
    }
    vStream *make(bool withPut = true, bool withWrite = true) {
        stream = vStream_Create(fakeGet, withPut ? fakePut : nullptr,
                                withWrite ? fakeWrite : nullptr, fakeDestroy, &fake);
        return stream;
    }
    std::string sentText() const { return std::string(fake.sent.begin(), fake.sent.end()); }

    FakeTransport fake;
    vStream *stream = nullptr;
};

TEST_F(StreamTest, ShortReadPushesBytesBackAndTheNextReadTakesThemWithoutTheTransport) {
    make();
    fake.bytes("ab");
    uint8_t buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(vStream_Read(stream, buffer, 4), vErrNotReady);
    EXPECT_EQ(buffer[0], 'x') << "nothing is copied on vErrNotReady";
    int callsBefore = fake.getCalls;
    EXPECT_EQ(vStream_Read(stream, buffer, 2), vErrNone);
    EXPECT_EQ(std::string(buffer, buffer + 2), "ab");
    EXPECT_EQ(fake.getCalls, callsBefore);
}

TEST_F(StreamTest, PushedBackBytesComeBeforeNewOnesInOrder) {
    make();
    fake.bytes("abc");
    uint8_t buffer[8] = {};
    ASSERT_EQ(vStream_Read(stream, buffer, 5), vErrNotReady);
    fake.bytes("de");
    ASSERT_EQ(vStream_Read(stream, buffer, 5), vErrNone);
    EXPECT_EQ(std::string(buffer, buffer + 5), "abcde");
}

TEST_F(StreamTest, EndOfInputCopiesWhatWasTaken) {
    make();
    fake.bytes("xyz");
    fake.whenScriptEnds = vErrEOF;
    uint8_t buffer[5] = {};
    EXPECT_EQ(vStream_Read(stream, buffer, 5), vErrEOF);
    EXPECT_EQ(std::string(buffer, buffer + 3), "xyz");
}

TEST_F(StreamTest, OtherErrorsCopyNothingAndKeepNothing) {
    make();
    fake.bytes("q");
    fake.error(vErrIO);
    uint8_t buffer[3] = {'-', '-', '-'};
    EXPECT_EQ(vStream_Read(stream, buffer, 3), vErrIO);
    EXPECT_EQ(buffer[0], '-');
    EXPECT_EQ(vStream_WaitReadable(stream, 0), vErrNone) << "no wait procedure: a pause";
}

TEST_F(StreamTest, ManyPushedBackBytesKeepTheirOrder) {
    make();
    std::string expected;
    for (int i = 0; i < 1500; ++i) {
        expected.push_back(static_cast<char>('A' + i % 26));
    }
    fake.bytes(expected.substr(0, 511));
    std::vector<uint8_t> buffer(expected.size());
    ASSERT_EQ(vStream_Read(stream, buffer.data(), 1500), vErrNotReady);
    fake.bytes(expected.substr(511, 512));
    ASSERT_EQ(vStream_Read(stream, buffer.data(), 1500), vErrNotReady);
    fake.bytes(expected.substr(1023));
    ASSERT_EQ(vStream_Read(stream, buffer.data(), 1500), vErrNone);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), expected);
}

TEST_F(StreamTest, ReadAndWriteRefuseBadArguments) {
    uint8_t buffer[2] = {};
    EXPECT_EQ(vStream_Read(nullptr, buffer, 1), vErrParam);
    EXPECT_EQ(vStream_Write(nullptr, buffer, 1), vErrParam);
    make();
    EXPECT_EQ(vStream_Read(stream, nullptr, 1), vErrParam);
    EXPECT_EQ(vStream_Write(stream, nullptr, 1), vErrParam);
    vStream *noGet = vStream_Create(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(vStream_Read(noGet, buffer, 1), vErrMode);
    EXPECT_EQ(vStream_Write(noGet, buffer, 1), vErrMode);
    EXPECT_EQ(vStream_WaitReadable(noGet, 0), vErrMode);
    EXPECT_EQ(vStream_Destroy(&noGet), vErrNone);
    EXPECT_EQ(noGet, nullptr);
}

TEST_F(StreamTest, WriteUsesTheWriteProcedureForMoreThanOneByte) {
    struct Case {
        bool put;
        bool write;
        uint32_t count;
        int putCalls;
        int writeCalls;
    };
    const Case cases[] = {
        {true, false, 5, 5, 0}, {true, true, 1, 1, 0},  {true, true, 5, 0, 1},
        {false, true, 1, 0, 1}, {false, true, 5, 0, 1},
    };
    for (const Case &c : cases) {
        FakeTransport local;
        vStream *s = vStream_Create(fakeGet, c.put ? fakePut : nullptr,
                                    c.write ? fakeWrite : nullptr, nullptr, &local);
        EXPECT_EQ(vStream_Write(s, reinterpret_cast<const uint8_t *>("hello"), c.count), vErrNone);
        EXPECT_EQ(local.putCalls, c.putCalls) << "count " << c.count;
        EXPECT_EQ(local.writeCalls, c.writeCalls) << "count " << c.count;
        EXPECT_EQ(local.sent.size(), c.count);
        vStream_Destroy(&s);
    }
}

TEST_F(StreamTest, DestroyCallsTheTransportOnceAndRefusesABadHandle) {
    make();
    EXPECT_EQ(vStream_Destroy(&stream), vErrNone);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(fake.destroyCalls, 1);
    EXPECT_EQ(vStream_Destroy(&stream), vErrParam);
    EXPECT_EQ(vStream_Destroy(nullptr), vErrParam);
    uint16_t notAStream[32] = {};
    auto *foreign = reinterpret_cast<vStream *>(notAStream);
    EXPECT_EQ(vStream_Destroy(&foreign), vErrParam);
    EXPECT_EQ(foreign, nullptr);
}

TEST_F(StreamTest, ReadRecordStopsAtTheTerminatorAndLeavesTheRest) {
    make();
    fake.bytes("one\ntwo\n");
    uint8_t buffer[16] = {};
    uint32_t length = 99;
    const uint8_t newline = '\n';
    ASSERT_EQ(vStream_ReadRecord(stream, buffer, &length, sizeof buffer, &newline, 1), vErrNone);
    EXPECT_EQ(std::string(buffer, buffer + length), "one");
    ASSERT_EQ(vStream_ReadRecord(stream, buffer, &length, sizeof buffer, &newline, 1), vErrNone);
    EXPECT_EQ(std::string(buffer, buffer + length), "two");
}

TEST_F(StreamTest, ReadRecordEndsAtMaxLengthAndAtEndOfInput) {
    make();
    fake.bytes("abcdef");
    fake.whenScriptEnds = vErrEOF;
    uint8_t buffer[8] = {};
    uint32_t length = 0;
    const uint8_t newline = '\n';
    ASSERT_EQ(vStream_ReadRecord(stream, buffer, &length, 4, &newline, 1), vErrNone);
    EXPECT_EQ(std::string(buffer, buffer + length), "abcd");
    ASSERT_EQ(vStream_ReadRecord(stream, buffer, &length, 4, &newline, 1), vErrNone);
    EXPECT_EQ(std::string(buffer, buffer + length), "ef");
    length = 7;
    EXPECT_EQ(vStream_ReadRecord(stream, buffer, &length, 4, &newline, 1), vErrEOF);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(vStream_ReadRecord(stream, buffer, nullptr, 4, &newline, 1), vErrEOF);
}

TEST_F(StreamTest, ReadRecordThatMustWaitLosesNothingAndLeavesTheBufferAlone) {
    make();
    fake.bytes("par");
    char buffer[16] = "untouched";
    uint32_t length = sizeof buffer;
    EXPECT_EQ(vStream_ReadCStringRecord(stream, buffer, &length, "\r\n"), vErrNotReady);
    EXPECT_STREQ(buffer, "untouched");
    fake.bytes("tial\r");
    EXPECT_EQ(vStream_ReadCStringRecord(stream, buffer, &length, "\r\n"), vErrNotReady);
    fake.bytes("\nnext");
    length = sizeof buffer;
    ASSERT_EQ(vStream_ReadCStringRecord(stream, buffer, &length, "\r\n"), vErrNone);
    EXPECT_STREQ(buffer, "partial");
    EXPECT_EQ(length, 7u);
}

TEST_F(StreamTest, MultiByteTerminatorIsFoundAfterAFalseStart) {
    struct Case {
        const char *input;
        const char *terminator;
        const char *record;
    };
    const Case cases[] = {
        {"ab\r\r\nrest", "\r\n", "ab\r"},
        {"x--y---", "---", "x--y"},
        {"aabab!", "ab!", "aab"},
        {"\r\n", "\r\n", ""},
    };
    for (const Case &c : cases) {
        FakeTransport local;
        local.bytes(c.input);
        vStream *s = vStream_Create(fakeGet, nullptr, nullptr, nullptr, &local);
        char buffer[32] = {};
        uint32_t length = sizeof buffer;
        EXPECT_EQ(vStream_ReadCStringRecord(s, buffer, &length, c.terminator), vErrNone);
        EXPECT_STREQ(buffer, c.record) << "input " << c.input;
        vStream_Destroy(&s);
    }
}

TEST_F(StreamTest, RecordStoppedByMaxLengthKeepsAPartialTerminatorForTheNextRead) {
    make();
    fake.bytes("axxy");
    char buffer[3] = {};
    uint32_t length = sizeof buffer;
    ASSERT_EQ(vStream_ReadCStringRecord(stream, buffer, &length, "xy"), vErrNone);
    EXPECT_STREQ(buffer, "ax");
    length = sizeof buffer;
    ASSERT_EQ(vStream_ReadCStringRecord(stream, buffer, &length, "xy"), vErrNone);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(length, 0u);
}

TEST_F(StreamTest, RecordFunctionsRefuseBadArguments) {
    make();
    uint8_t buffer[4] = {};
    uint32_t length = 4;
    const uint8_t terminator = 0;
    EXPECT_EQ(vStream_ReadRecord(nullptr, buffer, &length, 4, &terminator, 1), vErrParam);
    EXPECT_EQ(vStream_ReadRecord(stream, nullptr, &length, 4, &terminator, 1), vErrParam);
    EXPECT_EQ(vStream_ReadRecord(stream, buffer, &length, 4, nullptr, 1), vErrParam);
    EXPECT_EQ(vStream_ReadRecord(stream, buffer, &length, 4, &terminator, 0), vErrParam);
    EXPECT_EQ(vStream_WriteRecord(stream, nullptr, 1, &terminator, 1), vErrParam);
    EXPECT_EQ(vStream_WriteRecord(stream, buffer, 1, &terminator, 0), vErrParam);
    char text[4] = {};
    EXPECT_EQ(vStream_ReadCString(stream, text, 0), vErrParam);
    uint32_t zero = 0;
    EXPECT_EQ(vStream_ReadCStringRecord(stream, text, &zero, "\n"), vErrParam);
    EXPECT_EQ(vStream_ReadCStringRecord(stream, text, nullptr, "\n"), vErrParam);
    EXPECT_EQ(vStream_WriteCString(stream, nullptr), vErrParam);
    EXPECT_EQ(vStream_WriteCStringRecord(stream, "x", nullptr), vErrParam);
}

TEST_F(StreamTest, CStringReadsStopAtZeroAndFitTheCapacity) {
    make();
    fake.script.push_back({vErrNone, 'a'});
    fake.script.push_back({vErrNone, 'b'});
    fake.script.push_back({vErrNone, 0});
    fake.bytes("cdefgh");
    fake.whenScriptEnds = vErrEOF;
    char text[5] = {};
    ASSERT_EQ(vStream_ReadCString(stream, text, sizeof text), vErrNone);
    EXPECT_STREQ(text, "ab");
    ASSERT_EQ(vStream_ReadCString(stream, text, sizeof text), vErrNone);
    EXPECT_STREQ(text, "cdef");
    ASSERT_EQ(vStream_ReadCString(stream, text, sizeof text), vErrNone);
    EXPECT_STREQ(text, "gh");
    EXPECT_EQ(vStream_ReadCString(stream, text, sizeof text), vErrEOF);
}

TEST_F(StreamTest, WritersAppendTheirTerminators) {
    make();
    ASSERT_EQ(vStream_WriteCString(stream, "hi"), vErrNone);
    ASSERT_EQ(vStream_WriteCStringRecord(stream, "cmd", "\r\n"), vErrNone);
    const uint8_t terminator[2] = {'!', '?'};
    ASSERT_EQ(
        vStream_WriteRecord(stream, reinterpret_cast<const uint8_t *>("rec"), 3, terminator, 2),
        vErrNone);
    EXPECT_EQ(sentText(), std::string("hi\0cmd\r\n\0rec!?", 14));
}

TEST_F(StreamTest, WriteCStringSendsTheZeroThroughWriteWhenThereIsNoPut) {
    make(false, true);
    ASSERT_EQ(vStream_WriteCString(stream, "ok"), vErrNone);
    EXPECT_EQ(sentText(), std::string("ok\0", 3));
}

TEST_F(StreamTest, FlushCopiesUntilEndOfInputAndPassesOtherErrorsOn) {
    FakeTransport source;
    source.bytes("copy me");
    source.whenScriptEnds = vErrEOF;
    vStream *in = vStream_Create(fakeGet, nullptr, nullptr, nullptr, &source);
    make();
    EXPECT_EQ(vStream_Flush(in, stream), vErrNone);
    EXPECT_EQ(sentText(), "copy me");
    source.whenScriptEnds = vErrNotReady;
    EXPECT_EQ(vStream_Flush(in, stream), vErrNotReady);
    EXPECT_EQ(vStream_Flush(in, nullptr), vErrParam);
    vStream *noPut = vStream_Create(fakeGet, nullptr, fakeWrite, nullptr, &source);
    EXPECT_EQ(vStream_Flush(in, noPut), vErrMode);
    vStream_Destroy(&noPut);
    vStream_Destroy(&in);
}

vErr readyAfterWait(uint32_t, void *ref) {
    static_cast<FakeTransport *>(ref)->bytes("w");
    return vErrNone;
}

TEST_F(StreamTest, WaitReadableAnswersAtOnceForPushedBackBytesElseAsksTheTransport) {
    make();
    ASSERT_EQ(vStream_SetWaitProc(stream, readyAfterWait), vErrNone);
    EXPECT_EQ(vStream_SetWaitProc(nullptr, readyAfterWait), vErrParam);
    fake.bytes("p");
    uint8_t buffer[2] = {};
    ASSERT_EQ(vStream_Read(stream, buffer, 2), vErrNotReady);
    EXPECT_EQ(vStream_WaitReadable(stream, 1000), vErrNone);
    EXPECT_TRUE(fake.script.empty()) << "the transport was not asked";
    ASSERT_EQ(vStream_Read(stream, buffer, 1), vErrNone);
    EXPECT_EQ(vStream_WaitReadable(stream, 1000), vErrNone);
    ASSERT_EQ(vStream_Read(stream, buffer + 1, 1), vErrNone);
    EXPECT_EQ(std::string(buffer, buffer + 2), "pw");
}

} // namespace
