#include "support/FileSizeLimit.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <quillmark/vFile.h>

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

class FileTest : public ::testing::Test {
  protected:
    TemporaryDirectory directory;

    std::string fileWith(const std::string &content, const std::string &name = "data") {
        std::string path = directory.file(name);
        writeWholeFile(path, content);
        return path;
    }
};

struct OpenFile {
    vFileHandle handle;
    OpenFile(const std::string &path, uint32_t mode) : handle(vFile_Open(path.c_str(), mode)) {}
    ~OpenFile() {
        if (handle != nullptr) {
            vFile_Close(&handle);
        }
    }
};

} // namespace

TEST_F(FileTest, ExistsOnlyForEntriesThatAreNotDirectories) {
    EXPECT_TRUE(vFile_Exists(fileWith("x").c_str()));
    EXPECT_FALSE(vFile_Exists(directory.path().c_str()));
    EXPECT_FALSE(vFile_Exists(directory.file("missing").c_str()));
    EXPECT_FALSE(vFile_Exists(nullptr));
}

TEST_F(FileTest, OpenRefusesWhatItCannotHonour) {
    std::string path = fileWith("x");
    EXPECT_EQ(vFile_Open(nullptr, vFileModeRead), nullptr);
    EXPECT_EQ(vFile_Open(path.c_str(), 3), nullptr);
    EXPECT_EQ(vFile_Open(directory.path().c_str(), vFileModeRead), nullptr);
    EXPECT_EQ(vFile_Open(directory.path().c_str(), vFileModeAppend), nullptr);
    errno = 0;
    EXPECT_EQ(vFile_Open(directory.file("missing").c_str(), vFileModeRead), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(vFile_Exists(directory.file("missing").c_str()));
}

TEST_F(FileTest, PathsUpTo260CharactersOpen) {
    std::string base = directory.path() + "/";
    std::string longest = base + std::string(260 - base.size(), 'a');
    writeWholeFile(longest, "x");
    OpenFile fits(longest, vFileModeRead);
    EXPECT_NE(fits.handle, nullptr);
    EXPECT_EQ(vFile_Open((longest + "b").c_str(), vFileModeWrite), nullptr);
    EXPECT_FALSE(vFile_Exists((longest + "b").c_str()));
}

TEST_F(FileTest, ModesGuardReadingAndWriting) {
    std::string path = fileWith("abc");
    char buffer[8];
    size_t count = 99;
    {
        OpenFile reader(path, vFileModeRead);
        ASSERT_NE(reader.handle, nullptr);
        EXPECT_EQ(vFile_Write(reader.handle, "x", 1, &count), vErrMode);
        EXPECT_EQ(vFile_Printf(reader.handle, "x"), vErrMode);
    }
    OpenFile writer(path, vFileModeWrite);
    ASSERT_NE(writer.handle, nullptr);
    EXPECT_EQ(vFile_Read(writer.handle, buffer, sizeof buffer, &count), vErrMode);
    EXPECT_EQ(vFile_ReadLine(writer.handle, buffer, sizeof buffer, &count), vErrMode);
}

TEST_F(FileTest, WriteModeTruncatesAndCreates) {
    std::string path = fileWith("old content");
    {
        OpenFile writer(path, vFileModeWrite);
        size_t written = 0;
        ASSERT_EQ(vFile_Write(writer.handle, "new", 3, &written), vErrNone);
        EXPECT_EQ(written, 3u);
    }
    EXPECT_EQ(readWholeFile(path), "new");
    std::string fresh = directory.file("fresh");
    OpenFile creator(fresh, vFileModeWrite);
    EXPECT_NE(creator.handle, nullptr);
    EXPECT_TRUE(vFile_Exists(fresh.c_str()));
}

TEST_F(FileTest, AppendModeStartsAtTheEndAndReads) {
    std::string path = fileWith("abc");
    {
        OpenFile appender(path, vFileModeAppend);
        ASSERT_NE(appender.handle, nullptr);
        uint64_t position = 0;
        EXPECT_EQ(vFile_GetPosition(appender.handle, &position), vErrNone);
        EXPECT_EQ(position, 3u);
        EXPECT_EQ(vFile_Printf(appender.handle, "%d-%s", 42, "z"), vErrNone);
        ASSERT_EQ(vFile_Seek(appender.handle, 0, 0), vErrNone);
        char buffer[16] = {};
        size_t count = 0;
        EXPECT_EQ(vFile_Read(appender.handle, buffer, sizeof buffer, &count), vErrNone);
        EXPECT_EQ(std::string(buffer, count), "abc42-z");
    }
    OpenFile creator(directory.file("created"), vFileModeAppend);
    EXPECT_NE(creator.handle, nullptr);
}

TEST_F(FileTest, WritersExcludeEachOtherButNotReaders) {
    struct Case {
        uint32_t held;
        uint32_t opened;
        bool allowed;
    } cases[] = {
        {vFileModeWrite, vFileModeWrite, false},  {vFileModeWrite, vFileModeAppend, false},
        {vFileModeWrite, vFileModeRead, true},    {vFileModeAppend, vFileModeWrite, false},
        {vFileModeAppend, vFileModeAppend, true}, {vFileModeAppend, vFileModeRead, true},
        {vFileModeRead, vFileModeWrite, true},    {vFileModeRead, vFileModeRead, true},
    };
    for (const auto &c : cases) {
        std::string path = fileWith("keep");
        OpenFile first(path, c.held);
        ASSERT_NE(first.handle, nullptr);
        OpenFile second(path, c.opened);
        EXPECT_EQ(second.handle != nullptr, c.allowed) << c.held << " then " << c.opened;
        if (c.held == vFileModeAppend && !c.allowed) {
            EXPECT_EQ(readWholeFile(path), "keep") << "a refused writer must not truncate";
        }
    }
}

TEST_F(FileTest, ReadAtTheEndGivesEndOfFileOnlyWhenBytesWereAsked) {
    OpenFile reader(fileWith("ab"), vFileModeRead);
    char buffer[4];
    size_t count = 99;
    EXPECT_EQ(vFile_Read(reader.handle, buffer, sizeof buffer, &count), vErrNone);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(vFile_Read(reader.handle, buffer, sizeof buffer, &count), vErrEOF);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(vFile_Read(reader.handle, buffer, 0, &count), vErrNone);
    EXPECT_EQ(vFile_Read(reader.handle, nullptr, 1, &count), vErrParam);
}

TEST_F(FileTest, ReadLineSplitsAtLineFeeds) {
    OpenFile reader(fileWith("ab\ncd"), vFileModeRead);
    char buffer[16];
    size_t length = 99;
    EXPECT_EQ(vFile_ReadLine(reader.handle, buffer, sizeof buffer, &length), vErrNone);
    EXPECT_STREQ(buffer, "ab\n");
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(vFile_ReadLine(reader.handle, buffer, sizeof buffer, &length), vErrNone);
    EXPECT_STREQ(buffer, "cd");
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(vFile_ReadLine(reader.handle, buffer, sizeof buffer, &length), vErrEOF);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(length, 0u);
}

TEST_F(FileTest, ReadLineKeepsCarriageReturnsAndEmptyLines) {
    OpenFile reader(fileWith("a\r\n\nb"), vFileModeRead);
    char buffer[16];
    size_t length = 0;
    std::vector<std::string> lines;
    while (vFile_ReadLine(reader.handle, buffer, sizeof buffer, &length) == vErrNone) {
        lines.emplace_back(buffer, length);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a\r\n", "\n", "b"}));
}

TEST_F(FileTest, LongLinesComeInPiecesWithOverrun) {
    OpenFile reader(fileWith(std::string(20, 'x') + "\nnext"), vFileModeRead);
    char buffer[8];
    size_t length = 0;
    std::vector<std::pair<vErr, size_t>> pieces;
    vErr result;
    while ((result = vFile_ReadLine(reader.handle, buffer, sizeof buffer, &length)) != vErrEOF) {
        pieces.emplace_back(result, length);
    }
    std::vector<std::pair<vErr, size_t>> expected = {
        {vErrOverrun, 7}, {vErrOverrun, 7}, {vErrNone, 7}, {vErrNone, 4}};
    EXPECT_EQ(pieces, expected);
}

TEST_F(FileTest, ReadLineWithALineFeedInTheLastPlaceIsComplete) {
    OpenFile reader(fileWith("abcdef\nx"), vFileModeRead);
    char buffer[8];
    size_t length = 0;
    EXPECT_EQ(vFile_ReadLine(reader.handle, buffer, sizeof buffer, &length), vErrNone);
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(vFile_ReadLine(reader.handle, buffer, 1, &length), vErrParam);
}

TEST_F(FileTest, SeekStaysInsideTheFile) {
    OpenFile reader(fileWith("0123456789"), vFileModeRead);
    struct Case {
        int64_t offset;
        int32_t origin;
        vErr result;
        uint64_t position; // where the file stands afterwards
    } cases[] = {
        {10, 0, vErrNone, 10}, {11, 0, vErrRange, 10},       {-1, 0, vErrRange, 10},
        {-3, 1, vErrNone, 7},  {2, 1, vErrNone, 9},          {2, 1, vErrRange, 9},
        {-10, 2, vErrNone, 0}, {-11, 2, vErrRange, 0},       {1, 2, vErrRange, 0},
        {0, 3, vErrParam, 0},  {INT64_MIN, 1, vErrRange, 0}, {INT64_MAX, 1, vErrRange, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(vFile_Seek(reader.handle, c.offset, c.origin), c.result)
            << c.offset << " from " << c.origin;
        uint64_t position = 99;
        EXPECT_EQ(vFile_GetPosition(reader.handle, &position), vErrNone);
        EXPECT_EQ(position, c.position) << c.offset << " from " << c.origin;
    }
}

TEST_F(FileTest, BadHandlesAreRefused) {
    vFileHandle none = nullptr;
    char buffer[4];
    uint64_t size = 7;
    EXPECT_EQ(vFile_Close(&none), vErrParam);
    EXPECT_EQ(vFile_Close(nullptr), vErrParam);
    EXPECT_EQ(vFile_Read(none, buffer, 1, nullptr), vErrParam);
    EXPECT_EQ(vFile_Write(none, "x", 1, nullptr), vErrParam);
    EXPECT_EQ(vFile_Printf(none, "x"), vErrParam);
    EXPECT_EQ(vFile_ReadLine(none, buffer, sizeof buffer, nullptr), vErrParam);
    EXPECT_EQ(vFile_Seek(none, 0, 0), vErrParam);
    EXPECT_EQ(vFile_GetSize(none, &size), vErrParam);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(vFile_GetPosition(none, &size), vErrParam);
    EXPECT_EQ(vFile_CommitReplacement(&none), vErrParam);
    EXPECT_EQ(vFile_SetUnbuffered(none), vErrMode);
}

TEST_F(FileTest, CloseNullsTheHandle) {
    vFileHandle file = vFile_Open(fileWith("abc").c_str(), vFileModeRead);
    ASSERT_NE(file, nullptr);
    uint64_t size = 0;
    EXPECT_EQ(vFile_GetSize(file, &size), vErrNone);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(vFile_SetUnbuffered(file), vErrMode);
    EXPECT_EQ(vFile_Close(&file), vErrNone);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(vFile_Close(&file), vErrParam);
}

TEST_F(FileTest, DeleteMapsTheSystemsAnswer) {
    std::string path = fileWith("x");
    EXPECT_EQ(vFile_Delete(path.c_str()), vErrNone);
    EXPECT_FALSE(vFile_Exists(path.c_str()));
    EXPECT_EQ(vFile_Delete(path.c_str()), vErrNotFound);
    EXPECT_EQ(vFile_Delete(directory.path().c_str()), vErrIO);
    EXPECT_EQ(vFile_Delete(nullptr), vErrParam);
}

TEST_F(FileTest, PrintfRefusesOutputBeyondItsLimit) {
    std::string path = directory.file("formatted");
    {
        OpenFile writer(path, vFileModeWrite);
        EXPECT_EQ(vFile_Printf(writer.handle, "%s", std::string(65535, 'a').c_str()), vErrNone);
        EXPECT_EQ(vFile_Printf(writer.handle, "%s", std::string(65536, 'b').c_str()), vErrIO);
    }
    EXPECT_EQ(readWholeFile(path), std::string(65535, 'a'));
}

TEST_F(FileTest, PrintfFromManyThreadsKeepsEachTextWhole) {
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([this, t] {
            OpenFile writer(directory.file("thread" + std::to_string(t)), vFileModeWrite);
            std::string word(100 + t, static_cast<char>('a' + t));
            for (int line = 0; line < kLines; ++line) {
                vFile_Printf(writer.handle, "%d:%s\n", t, word.c_str());
            }
        });
    }
    for (auto &writer : writers) {
        writer.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        std::string line = std::to_string(t) + ":" + std::string(100 + t, 'a' + t) + "\n";
        std::string expected;
        for (int i = 0; i < kLines; ++i) {
            expected += line;
        }
        EXPECT_EQ(readWholeFile(directory.file("thread" + std::to_string(t))), expected);
    }
}

TEST_F(FileTest, ReplacementAppearsOnlyOnCommit) {
    std::string path = fileWith("old", "target");
    vFileHandle replacement = vFile_OpenReplacement(path.c_str());
    ASSERT_NE(replacement, nullptr);
    ASSERT_EQ(vFile_Printf(replacement, "new %d", 1), vErrNone);
    EXPECT_EQ(readWholeFile(path), "old");
    std::vector<std::string> names = directoryNames(directory.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].rfind(".target.", 0), 0u) << names[0];
    char buffer[4];
    EXPECT_EQ(vFile_Read(replacement, buffer, sizeof buffer, nullptr), vErrMode);
    EXPECT_EQ(vFile_CommitReplacement(&replacement), vErrNone);
    EXPECT_EQ(replacement, nullptr);
    EXPECT_EQ(readWholeFile(path), "new 1");
    EXPECT_EQ(directoryNames(directory.path()), std::vector<std::string>{"target"});
}

TEST_F(FileTest, ClosedReplacementLeavesNoTrace) {
    std::string path = fileWith("old", "target");
    vFileHandle replacement = vFile_OpenReplacement(path.c_str());
    ASSERT_NE(replacement, nullptr);
    ASSERT_EQ(vFile_Write(replacement, "partial", 7, nullptr), vErrNone);
    EXPECT_EQ(vFile_Close(&replacement), vErrNone);
    EXPECT_EQ(readWholeFile(path), "old");
    EXPECT_EQ(directoryNames(directory.path()), std::vector<std::string>{"target"});
}

TEST_F(FileTest, ReplacementCreatesAMissingFileWithUsualPermissions) {
    std::string plain = directory.file("plain");
    writeWholeFile(plain, "");
    std::string path = directory.file("created");
    vFileHandle replacement = vFile_OpenReplacement(path.c_str());
    ASSERT_NE(replacement, nullptr);
    ASSERT_EQ(vFile_CommitReplacement(&replacement), vErrNone);
    struct stat created {};
    struct stat usual {};
    ASSERT_EQ(stat(path.c_str(), &created), 0);
    ASSERT_EQ(stat(plain.c_str(), &usual), 0);
    EXPECT_EQ(created.st_mode, usual.st_mode);
}

TEST_F(FileTest, ReplacementNeedsAnExistingDirectory) {
    errno = 0;
    EXPECT_EQ(vFile_OpenReplacement(directory.file("no/such").c_str()), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(vFile_OpenReplacement(nullptr), nullptr);
}

TEST_F(FileTest, DiskFullHalfWayKeepsTheOldFile) {
    std::string path = fileWith("old content", "target");
    std::string big(4096, 'n');
    {
        FileSizeLimit limit(1000);
        vFileHandle replacement = vFile_OpenReplacement(path.c_str());
        ASSERT_NE(replacement, nullptr);
        size_t written = 0;
        EXPECT_EQ(vFile_Write(replacement, big.data(), big.size(), &written), vErrWrite);
        EXPECT_EQ(written, 1000u);
        EXPECT_EQ(vFile_Close(&replacement), vErrNone);
    }
    EXPECT_EQ(readWholeFile(path), "old content");
    EXPECT_EQ(directoryNames(directory.path()), std::vector<std::string>{"target"});
}
