#include "AttributeFile.h"

#include "support/DebugCapture.h"
#include "support/FileSizeLimit.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <cctype>
#include <map>
#include <string>
#include <unistd.h>

namespace {

constexpr unsigned kAttributesMask = 0x4;

using Entries = std::map<std::string, std::string>;

// The form "Www Mmm dd hh:mm:ss yyyy": A an upper-case letter, a a lower-case one, 9 a digit.
bool isTimeText(const std::string &text) {
    const std::string form = "Aaa Aaa 99 99:99:99 9999";
    if (text.size() != form.size()) {
        return false;
    }
    for (size_t i = 0; i < form.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        bool fits = form[i] == 'A'   ? std::isupper(c)
                    : form[i] == 'a' ? std::islower(c)
                    : form[i] == '9' ? std::isdigit(c)
                                     : text[i] == form[i];
        if (!fits) {
            return false;
        }
    }
    return true;
}

class AttributeFileTest : public ::testing::Test {
  protected:
    TemporaryDirectory directory;
    std::string settings = directory.file(".settings");

    Entries readFrom(const std::string &content) {
        writeWholeFile(settings, content);
        AttributeFile attributes;
        attributes.Read(settings);
        return attributes.getEntries();
    }
};

} // namespace

TEST(TimeText, HasTheFixedWidthForm) {
    std::string now = currentTimeText();
    EXPECT_TRUE(isTimeText(now)) << now;
}

TEST_F(AttributeFileTest, MissingFileIsCreatedWithItsTimes) {
    AttributeFile attributes;
    {
        DebugCapture capture(kAttributesMask);
        attributes.Read(settings);
        EXPECT_EQ(capture.text(),
                  "Attibutes: Error - cannot open attributes file: '" + settings + "' (2)\n");
    }
    EXPECT_EQ(attributes.getPath(), settings);
    EXPECT_FALSE(attributes.isChanged());
    std::string created = attributes.GetString("CREATED_TIME", nullptr);
    std::string updated = attributes.GetString("UPDATED_TIME", nullptr);
    EXPECT_TRUE(isTimeText(created)) << created;
    EXPECT_TRUE(isTimeText(updated)) << updated;
    EXPECT_EQ(readWholeFile(settings),
              "CREATED_TIME=" + created + "\nUPDATED_TIME=" + updated + "\n");
}

TEST_F(AttributeFileTest, LineRules) {
    struct Case {
        const char *what;
        std::string content;
        Entries entries;
    } cases[] = {
        {"white space around key and value",
         "  LATEST_DOWNLOAD =  1234.bird  \n",
         {{"LATEST_DOWNLOAD", "1234.bird"}}},
        {"comment", "#LATEST=1\nA=1\n", {{"A", "1"}}},
        {"two characters at the end", "b=2\na=", {{"b", "2"}}},
        {"three characters with line feed", "a=\n", {{"a", ""}}},
        {"last line without line feed", "b=2\nab=3", {{"ab", "3"}, {"b", "2"}}},
        {"carriage return", "k=v\r\n", {{"k", "v"}}},
        {"tabs", "\tk\t=\tv w\t\n", {{"k", "v w"}}},
        {"key ends at the first equals", "k=v=w\n", {{"k", "v=w"}}},
        {"later line wins", "k=1\nk=2\n", {{"k", "2"}}},
        {"no equals sign", "nothing here\nk=1\n", {{"k", "1"}}},
        {"empty key", "  =value\nk=1\n", {{"k", "1"}}},
        {"blank lines", "\n\n  \nk=1\n", {{"k", "1"}}},
        {"empty file", "", {}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(readFrom(c.content), c.entries) << c.what;
    }
}

TEST_F(AttributeFileTest, AnOverlongLineEndsTheReading) {
    Entries entries = readFrom("a=1\nb=" + std::string(2100, 'x') + "\nc=3\n");
    EXPECT_EQ(entries, (Entries{{"a", "1"}}));
}

TEST_F(AttributeFileTest, ReadingAnExistingFileDoesNotRewriteIt) {
    std::string content = "# kept as it is\nB=2\nA=1\n";
    readFrom(content);
    EXPECT_EQ(readWholeFile(settings), content);
}

TEST_F(AttributeFileTest, GetIntParsesAndCreatesMissingKeys) {
    writeWholeFile(settings, "LATEST_DOWNLOAD = 1234.bird\nEMPTY=\n");
    AttributeFile attributes;
    attributes.Read(settings);
    EXPECT_EQ(attributes.GetInt("LATEST_DOWNLOAD", 7), 1234);
    EXPECT_EQ(attributes.GetInt("EMPTY", 7), 7);
    EXPECT_EQ(attributes.GetInt("LATEST_TRANSFER", 0), 0);
    EXPECT_FALSE(attributes.isChanged());
    EXPECT_EQ(attributes.Write(nullptr), vErrNone);
    EXPECT_EQ(readWholeFile(settings), "EMPTY=\nLATEST_DOWNLOAD=1234.bird\nLATEST_TRANSFER=\n");
}

TEST_F(AttributeFileTest, GetStringCreatesNothing) {
    AttributeFile attributes;
    EXPECT_EQ(attributes.GetString("missing", "fallback"), "fallback");
    EXPECT_EQ(attributes.GetString("missing", nullptr), "");
    EXPECT_TRUE(attributes.getEntries().empty());
}

TEST_F(AttributeFileTest, SetMarksChangesOnly) {
    AttributeFile attributes;
    EXPECT_TRUE(attributes.Set("KEY", ""));
    EXPECT_FALSE(attributes.isChanged()) << "a missing entry counts as empty";
    EXPECT_TRUE(attributes.Set("KEY", "1"));
    EXPECT_TRUE(attributes.isChanged());
}

TEST_F(AttributeFileTest, SavedKeysAreSortedAndTheUpdateTimeRecorded) {
    AttributeFile attributes;
    attributes.Read(settings);
    std::string created = attributes.GetString("CREATED_TIME", nullptr);
    attributes.Set("LATEST_DOWNLOAD", "1234.bird");
    attributes.Set("LAST_DOWNLOAD_DATE", "Wed Jan 02 02:03:55 1980");
    ASSERT_EQ(attributes.Write(nullptr), vErrNone);
    EXPECT_FALSE(attributes.isChanged());
    std::string updated = attributes.GetString("UPDATED_TIME", nullptr);
    EXPECT_EQ(readWholeFile(settings), "CREATED_TIME=" + created +
                                           "\nLAST_DOWNLOAD_DATE=Wed Jan 02 02:03:55 1980"
                                           "\nLATEST_DOWNLOAD=1234.bird\nUPDATED_TIME=" +
                                           updated + "\n");
}

TEST_F(AttributeFileTest, UnchangedSaveKeepsTheUpdateTime) {
    writeWholeFile(settings, "UPDATED_TIME=then\n");
    AttributeFile attributes;
    attributes.Read(settings);
    attributes.Set("UPDATED_TIME", "then");
    ASSERT_EQ(attributes.Write(nullptr), vErrNone);
    EXPECT_EQ(readWholeFile(settings), "UPDATED_TIME=then\n");
}

TEST_F(AttributeFileTest, WithoutAnyPathTheWorkingDirectoryIsUsed) {
    std::string previous = std::filesystem::current_path();
    ASSERT_EQ(chdir(directory.path().c_str()), 0);
    AttributeFile attributes;
    attributes.Set("K", "V");
    {
        DebugCapture capture(kAttributesMask);
        EXPECT_EQ(attributes.Write(nullptr), vErrNone);
        EXPECT_EQ(capture.text(),
                  "Attibutes: no filename given for attributes, using default:[.settings]\n");
    }
    ASSERT_EQ(chdir(previous.c_str()), 0);
    EXPECT_EQ(attributes.getPath(), ".settings");
    std::string content = readWholeFile(settings);
    EXPECT_EQ(content.rfind("K=V\nUPDATED_TIME=", 0), 0u) << content;
}

TEST_F(AttributeFileTest, AGivenPathReplacesTheRememberedOne) {
    AttributeFile attributes;
    attributes.Read(settings);
    std::string other = directory.file("other");
    ASSERT_EQ(attributes.Write(other.c_str()), vErrNone);
    EXPECT_EQ(attributes.getPath(), other);
}

TEST_F(AttributeFileTest, UnwritablePlaceIsOnlyLogged) {
    std::string missing = directory.file("no/such/.settings");
    AttributeFile attributes;
    attributes.Set("K", "V");
    DebugCapture capture(kAttributesMask);
    EXPECT_NE(attributes.Write(missing.c_str()), vErrNone);
    EXPECT_EQ(capture.text(), "Attibutes: Error - cannot open attributes file for writting: '" +
                                  missing + "' (2)\n");
    EXPECT_EQ(attributes.GetString("K", nullptr), "V");
    EXPECT_TRUE(attributes.isChanged());
}

TEST_F(AttributeFileTest, FailedSaveKeepsTheWholeHistory) {
    std::string history;
    for (int i = 0; i < 20; ++i) {
        history += "KEY" + std::to_string(i) + "=" + std::string(40, 'h') + "\n";
    }
    writeWholeFile(settings, history);
    AttributeFile attributes;
    attributes.Read(settings);
    attributes.Set("LATEST_TRANSFER", "1234.bird");
    {
        FileSizeLimit limit(256);
        EXPECT_NE(attributes.Write(nullptr), vErrNone);
    }
    EXPECT_EQ(readWholeFile(settings), history);
    EXPECT_EQ(directoryNames(directory.path()), std::vector<std::string>{".settings"});
    EXPECT_TRUE(attributes.isChanged());
    EXPECT_EQ(attributes.Write(nullptr), vErrNone) << "a later save still succeeds";
    EXPECT_NE(readWholeFile(settings).find("LATEST_TRANSFER=1234.bird\n"), std::string::npos);
}

TEST_F(AttributeFileTest, ExistingFileThatCannotBeOpenedIsNotOverwritten) {
    // Longer paths than vFile_Open accepts exist on this system: the file is there but cannot
    // be opened, so reading must leave it as it is.
    std::string deep = directory.path();
    while (deep.size() < 300) {
        deep += "/" + std::string(50, 'd');
        std::filesystem::create_directory(deep);
    }
    std::string path = deep + "/.settings";
    writeWholeFile(path, "HISTORY=kept\n");
    AttributeFile attributes;
    attributes.Read(path);
    EXPECT_EQ(readWholeFile(path), "HISTORY=kept\n");
}
