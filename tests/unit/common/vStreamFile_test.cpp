#include <quillmark/vStream.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

class FileStreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qm-filestream-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
    }
    void TearDown() override {
        if (stream != nullptr) {
            vStream_Destroy(&stream);
        }
        std::system(("rm -rf " + directory).c_str());
    }
    std::string file(const std::string &name, const std::string &content) {
        std::string path = directory + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string contentOf(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string directory;
    vStream *stream = nullptr;
};

TEST_F(FileStreamTest, AReadPastTheEndCopiesTheBytesLeft) {
    ASSERT_EQ(vStream_CreateFileInput(file("in", "12345678").c_str(), &stream), vErrNone);
    uint8_t buffer[5] = {};
    ASSERT_EQ(vStream_Read(stream, buffer, 5), vErrNone);
    uint8_t rest[5] = {};
    EXPECT_EQ(vStream_Read(stream, rest, 5), vErrEOF);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(rest), 3), "678");
    EXPECT_EQ(vStream_WaitReadable(stream, 1000), vErrNone);
}

TEST_F(FileStreamTest, CStringsAreReadUpToEachZeroAndTheEnd) {
    ASSERT_EQ(vStream_CreateFileInput(file("in", std::string("ab\0cd", 5)).c_str(), &stream),
              vErrNone);
    char text[16] = {};
    ASSERT_EQ(vStream_ReadCString(stream, text, sizeof text), vErrNone);
    EXPECT_STREQ(text, "ab");
    ASSERT_EQ(vStream_ReadCString(stream, text, sizeof text), vErrNone);
    EXPECT_STREQ(text, "cd");
    EXPECT_EQ(vStream_ReadCString(stream, text, sizeof text), vErrEOF);
}

TEST_F(FileStreamTest, FlushCopiesAWholeFile) {
    std::string content;
    for (int i = 0; i < 600; ++i) {
        content.push_back(static_cast<char>(i % 251));
    }
    vStream *in = nullptr;
    ASSERT_EQ(vStream_CreateFileInput(file("source", content).c_str(), &in), vErrNone);
    std::string target = directory + "/target";
    ASSERT_EQ(vStream_CreateFileOutput(target.c_str(), &stream), vErrNone);
    EXPECT_EQ(vStream_Flush(in, stream), vErrNone);
    vStream_Destroy(&in);
    ASSERT_EQ(vStream_Destroy(&stream), vErrNone);
    EXPECT_EQ(contentOf(target), content);
}

TEST_F(FileStreamTest, OutputTruncatesAndTakesRecordsAndWrites) {
    std::string target = file("out", "old content that must go");
    ASSERT_EQ(vStream_CreateFileOutput(target.c_str(), &stream), vErrNone);
    ASSERT_EQ(vStream_WriteCStringRecord(stream, "line", "\n"), vErrNone);
    ASSERT_EQ(vStream_Write(stream, reinterpret_cast<const uint8_t *>("xy"), 2), vErrNone);
    uint8_t byte = 0;
    EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrMode) << "an output stream cannot be read";
    ASSERT_EQ(vStream_Destroy(&stream), vErrNone);
    EXPECT_EQ(contentOf(target), std::string("line\n\0xy", 8));
}

TEST_F(FileStreamTest, CreationFailuresAreResourceErrors) {
    struct Case {
        const char *what;
        std::string path;
        bool output;
    };
    const Case cases[] = {
        {"missing input", directory + "/missing", false},
        {"output in a missing directory", directory + "/no/such/out", true},
        {"path too long", directory + "/" + std::string(300, 'p'), true},
    };
    for (const Case &c : cases) {
        vStream *out = reinterpret_cast<vStream *>(this);
        vErr result = c.output ? vStream_CreateFileOutput(c.path.c_str(), &out)
                               : vStream_CreateFileInput(c.path.c_str(), &out);
        EXPECT_EQ(result, vErrResource) << c.what;
        EXPECT_EQ(out, nullptr) << c.what;
    }
    EXPECT_EQ(vStream_CreateFileInput(nullptr, &stream), vErrResource);
    EXPECT_EQ(vStream_CreateFileOutput(nullptr, &stream), vErrResource);
    EXPECT_EQ(vStream_CreateFileInput("x", nullptr), vErrResource);
}

} // namespace
