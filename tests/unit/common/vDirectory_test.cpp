#include <gtest/gtest.h>
#include <quillmark/vDirectory.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A caller's buffer followed by a guard region that no function may touch.
class GuardedBuffer {
  public:
    explicit GuardedBuffer(size_t size) : size_(size), storage_(size + kGuard, kPattern) {}
    char *data() { return storage_.data(); }
    size_t size() const { return size_; }
    std::string text() const { return std::string(storage_.data()); }
    bool guardIntact() const {
        for (size_t index = size_; index < storage_.size(); ++index) {
            if (storage_[index] != kPattern) {
                return false;
            }
        }
        return true;
    }

  private:
    static constexpr size_t kGuard = 64;
    static constexpr char kPattern = '\x5A';
    size_t size_;
    std::vector<char> storage_;
};

class TempDirectory : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qm-dir-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }
    std::string at(const std::string &relative) const { return (root_ / relative).string(); }
    static void writeFile(const std::string &path, const std::string &content) {
        std::ofstream(path) << content;
    }
    fs::path root_;
};

std::set<std::string> listedNames(const std::string &directory, vErr *result) {
    std::set<std::string> names;
    *result = vDirectory_List(
        directory.c_str(),
        [](const vDirectoryEntry *entry, void *reference) {
            static_cast<std::set<std::string> *>(reference)->insert(entry->path);
            return true;
        },
        &names);
    return names;
}

} // namespace

TEST(BuildPath, JoinsComponentsWithOneSeparator) {
    struct Case {
        std::vector<const char *> components;
        const char *expected;
    } cases[] = {
        {{"a"}, "a"},
        {{"a", "b", "c"}, "a/b/c"},
        {{"a/", "b"}, "a/b"},
        {{"a", "/b"}, "a/b"},
        {{"/home/me", ".veltrona", "updater"}, "/home/me/.veltrona/updater"},
        {{"", "b"}, "b"},
        {{"a", ""}, "a/"},
        {{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}, "1/2/3/4/5/6/7/8/9/10"},
    };
    for (const auto &c : cases) {
        const char *p[10] = {};
        std::copy(c.components.begin(), c.components.end(), p);
        char buffer[260];
        vErr result = vDirectory_BuildPath(buffer, sizeof buffer, p[0], p[1], p[2], p[3], p[4],
                                           p[5], p[6], p[7], p[8], p[9], nullptr);
        EXPECT_EQ(result, vErrNone) << c.expected;
        EXPECT_STREQ(buffer, c.expected);
    }
}

TEST(BuildPath, RefusesElevenComponentsAndTheBufferAsAComponent) {
    char buffer[260] = "x";
    EXPECT_EQ(vDirectory_BuildPath(buffer, sizeof buffer, "1", "2", "3", "4", "5", "6", "7", "8",
                                   "9", "10", "11", nullptr),
              vErrParam);
    EXPECT_STREQ(buffer, "");
    std::strcpy(buffer, "a");
    EXPECT_EQ(vDirectory_BuildPath(buffer, sizeof buffer, buffer, "b", nullptr), vErrParam);
    std::strcpy(buffer, "a");
    EXPECT_EQ(vDirectory_BuildPath(buffer, sizeof buffer, "x", buffer, nullptr), vErrParam);
    std::strcpy(buffer, "abc");
    EXPECT_EQ(vDirectory_BuildPath(buffer, sizeof buffer, "x", buffer + 1, nullptr), vErrParam);
    EXPECT_EQ(vDirectory_BuildPath(buffer, sizeof buffer, nullptr, nullptr), vErrParam);
    EXPECT_EQ(vDirectory_BuildPath(nullptr, 10, "a", nullptr), vErrParam);
    EXPECT_EQ(vDirectory_BuildPath(buffer, 0, "a", nullptr), vErrParam);
}

TEST(BuildPath, OverflowIsAnErrorAndNeverWritesPastTheBuffer) {
    struct Case {
        size_t size;
        const char *first;
        const char *second;
        vErr expected;
        const char *built; // null: no claim on the content after a failure
    } cases[] = {
        {5, "abc", nullptr, vErrNone, "abc"},
        {5, "abcd", nullptr, vErrOverrun, nullptr},
        {5, "abcdefgh", nullptr, vErrOverrun, nullptr},
        {1, "", nullptr, vErrOverrun, nullptr},
        {2, "", nullptr, vErrNone, ""},
        {6, "ab", "c", vErrNone, "ab/c"},
        {6, "ab", "cd", vErrOverrun, nullptr},
        {6, "ab", "cdefghijkl", vErrOverrun, nullptr},
        {4, "ab", "c", vErrOverrun, nullptr},
    };
    for (const auto &c : cases) {
        GuardedBuffer buffer(c.size);
        vErr result =
            c.second
                ? vDirectory_BuildPath(buffer.data(), buffer.size(), c.first, c.second, nullptr)
                : vDirectory_BuildPath(buffer.data(), buffer.size(), c.first, nullptr);
        EXPECT_EQ(result, c.expected) << c.size << " " << c.first;
        EXPECT_TRUE(buffer.guardIntact()) << c.size << " " << c.first;
        if (c.built) {
            EXPECT_EQ(buffer.text(), c.built);
        }
        EXPECT_LE(std::strlen(buffer.data()), c.size - 1);
    }
}

TEST(JoinPath, IsBuildPathOfTwo) {
    char buffer[32];
    EXPECT_EQ(vDirectory_JoinPath(buffer, sizeof buffer, "dir", "file.bird"), vErrNone);
    EXPECT_STREQ(buffer, "dir/file.bird");
    GuardedBuffer small(8);
    EXPECT_EQ(vDirectory_JoinPath(small.data(), small.size(), "dir", "file.bird"), vErrOverrun);
    EXPECT_TRUE(small.guardIntact());
}

TEST(Separator, IsSlash) {
    EXPECT_STREQ(vDirectory_Separator(), "/");
}

TEST(ProcessPaths, SmallBuffersAreErrorsWithoutWritingPastThem) {
    for (size_t size : {1u, 2u, 3u}) {
        GuardedBuffer cwd(size);
        EXPECT_EQ(vDirectory_CWD(cwd.data(), cwd.size()), vErrParam);
        EXPECT_TRUE(cwd.guardIntact());
        GuardedBuffer exe(size);
        EXPECT_EQ(vDirectory_ExecutableFilePath(exe.data(), exe.size()), vErrRead);
        EXPECT_TRUE(exe.guardIntact());
    }
    EXPECT_EQ(vDirectory_CWD(nullptr, 10), vErrParam);
    EXPECT_EQ(vDirectory_ExecutableFilePath(nullptr, 10), vErrParam);
}

TEST(ProcessPaths, CurrentDirectoryAndExecutableAreReal) {
    char buffer[4096];
    ASSERT_EQ(vDirectory_CWD(buffer, sizeof buffer), vErrNone);
    EXPECT_EQ(fs::path(buffer), fs::current_path());
    ASSERT_EQ(vDirectory_ExecutableFilePath(buffer, sizeof buffer), vErrNone);
    EXPECT_EQ(fs::path(buffer), fs::canonical("/proc/self/exe"));
}

class HomeDirectory : public ::testing::Test {
  protected:
    void SetUp() override {
        const char *home = std::getenv("HOME");
        hadHome_ = home != nullptr;
        saved_ = home ? home : "";
    }
    void TearDown() override {
        if (hadHome_) {
            setenv("HOME", saved_.c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }
    bool hadHome_ = false;
    std::string saved_;
};

TEST_F(HomeDirectory, ComesFromHome) {
    setenv("HOME", "/home/tester", 1);
    char buffer[64];
    EXPECT_EQ(vDirectory_GetHomeDirectory(buffer, sizeof buffer), vErrNone);
    EXPECT_STREQ(buffer, "/home/tester");
}

TEST_F(HomeDirectory, MissingOrEmptyHomeIsAnError) {
    char buffer[64] = "stale";
    unsetenv("HOME");
    EXPECT_NE(vDirectory_GetHomeDirectory(buffer, sizeof buffer), vErrNone);
    EXPECT_STREQ(buffer, "");
    setenv("HOME", "", 1);
    EXPECT_NE(vDirectory_GetHomeDirectory(buffer, sizeof buffer), vErrNone);
}

TEST_F(HomeDirectory, TooLongHomeOverrunsWithoutWritingPast) {
    setenv("HOME", "/home/a-rather-long-user-name", 1);
    GuardedBuffer buffer(12);
    EXPECT_EQ(vDirectory_GetHomeDirectory(buffer.data(), buffer.size()), vErrOverrun);
    EXPECT_TRUE(buffer.guardIntact());
}

TEST_F(TempDirectory, ExistsOnlyForDirectories) {
    writeFile(at("file"), "x");
    EXPECT_TRUE(vDirectory_Exists("."));
    EXPECT_TRUE(vDirectory_Exists("./"));
    EXPECT_TRUE(vDirectory_Exists(root_.c_str()));
    EXPECT_FALSE(vDirectory_Exists(at("file").c_str()));
    EXPECT_FALSE(vDirectory_Exists(at("missing").c_str()));
    EXPECT_FALSE(vDirectory_Exists((root_.string() + "/").c_str()));
    EXPECT_FALSE(vDirectory_Exists(""));
    EXPECT_FALSE(vDirectory_Exists(nullptr));
}

TEST_F(TempDirectory, EnsureCreatesEveryLevelAndIsIdempotent) {
    std::string deep = at("a/b/c/d");
    EXPECT_EQ(vDirectory_Ensure(deep.c_str(), 0755), vErrNone);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(vDirectory_Ensure(deep.c_str(), 0755), vErrNone);
    EXPECT_EQ(vDirectory_Ensure(at("a//e").c_str(), 0755), vErrNone);
    EXPECT_TRUE(fs::is_directory(at("a/e")));
}

TEST_F(TempDirectory, EnsureWorksWithRelativePaths) {
    fs::path saved = fs::current_path();
    fs::current_path(root_);
    EXPECT_EQ(vDirectory_Ensure("rel/sub", 0755), vErrNone);
    fs::current_path(saved);
    EXPECT_TRUE(fs::is_directory(at("rel/sub")));
}

TEST_F(TempDirectory, EnsureBelowAFileIsRefused) {
    writeFile(at("file"), "x");
    EXPECT_EQ(vDirectory_Ensure(at("file/sub").c_str(), 0755), vErrPermission);
    EXPECT_EQ(vDirectory_Ensure(at("file").c_str(), 0755), vErrPermission);
    EXPECT_EQ(vDirectory_Ensure(nullptr, 0755), vErrParam);
}

TEST_F(TempDirectory, ListGivesEveryEntryWithSizeAndKind) {
    writeFile(at("five"), "12345");
    fs::create_directory(at("sub"));
    struct Seen {
        std::string path;
        uint32_t size;
        uint32_t isDirectory;
    };
    std::vector<Seen> seen;
    ASSERT_EQ(vDirectory_List(
                  root_.c_str(),
                  [](const vDirectoryEntry *entry, void *reference) {
                      static_cast<std::vector<Seen> *>(reference)->push_back(
                          {entry->path, entry->size, entry->isDirectory});
                      return true;
                  },
                  &seen),
              vErrNone);
    std::set<std::string> paths;
    for (const Seen &s : seen) {
        paths.insert(s.path);
        if (s.path == at("five")) {
            EXPECT_EQ(s.size, 5u);
            EXPECT_EQ(s.isDirectory, 0u);
        } else {
            EXPECT_EQ(s.isDirectory, 1u) << s.path;
        }
    }
    EXPECT_EQ(paths, (std::set<std::string>{at("."), at(".."), at("five"), at("sub")}));
}

TEST_F(TempDirectory, ListStopsWhenTheCallbackSaysSo) {
    writeFile(at("one"), "");
    writeFile(at("two"), "");
    int calls = 0;
    EXPECT_EQ(vDirectory_List(
                  root_.c_str(),
                  [](const vDirectoryEntry *, void *reference) {
                      ++*static_cast<int *>(reference);
                      return false;
                  },
                  &calls),
              vErrNone);
    EXPECT_EQ(calls, 1);
}

TEST_F(TempDirectory, ListOfWhatCannotBeOpenedIsAParameterError) {
    writeFile(at("file"), "");
    vErr result;
    EXPECT_TRUE(listedNames(at("missing"), &result).empty());
    EXPECT_EQ(result, vErrParam);
    listedNames(at("file"), &result);
    EXPECT_EQ(result, vErrParam);
    EXPECT_EQ(vDirectory_List(root_.c_str(), nullptr, nullptr), vErrParam);
}

TEST_F(TempDirectory, DeleteRemovesOnlyEmptyDirectories) {
    fs::create_directory(at("empty"));
    fs::create_directory(at("full"));
    writeFile(at("full/f"), "");
    EXPECT_EQ(vDirectory_Delete(at("empty").c_str()), vErrNone);
    EXPECT_FALSE(fs::exists(at("empty")));
    EXPECT_EQ(vDirectory_Delete(at("full").c_str()), vErrUnknown);
    EXPECT_TRUE(fs::exists(at("full/f")));
}

TEST_F(TempDirectory, DeleteTreeRemovesEverythingBelow) {
    fs::create_directories(at("tree/a/b"));
    writeFile(at("tree/top"), "1");
    writeFile(at("tree/a/mid"), "2");
    writeFile(at("tree/a/b/low"), "3");
    writeFile(at("tree/.hidden"), "4");
    EXPECT_EQ(vDirectory_DeleteTree(at("tree").c_str()), vErrNone);
    EXPECT_FALSE(fs::exists(at("tree")));
    EXPECT_EQ(vDirectory_DeleteTree(at("tree").c_str()), vErrParam);
}

TEST_F(TempDirectory, DeleteTreeRemovesLinksWithoutFollowingThem) {
    fs::create_directories(at("keep"));
    writeFile(at("keep/precious"), "data");
    fs::create_directories(at("tree"));
    fs::create_directory_symlink(at("keep"), at("tree/link"));
    EXPECT_EQ(vDirectory_DeleteTree(at("tree").c_str()), vErrNone);
    EXPECT_FALSE(fs::exists(at("tree")));
    EXPECT_TRUE(fs::exists(at("keep/precious")));
}

// Root may delete anything, so as root the deletion runs in a child without privileges.
vErr deleteTreeUnprivileged(const std::string &path) {
    if (geteuid() != 0) {
        return vDirectory_DeleteTree(path.c_str());
    }
    pid_t child = fork();
    if (child == 0) {
        _exit(setuid(65534) == 0 ? vDirectory_DeleteTree(path.c_str()) : 255);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? static_cast<vErr>(WEXITSTATUS(status)) : vErrUnknown;
}

TEST_F(TempDirectory, DeleteTreeReportsAFileThatCannotBeDeleted) {
    fs::permissions(root_, fs::perms::all);
    fs::create_directories(at("tree/locked"));
    writeFile(at("tree/locked/f"), "");
    const auto readAndEnter = fs::perms::owner_read | fs::perms::owner_exec |
                              fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(at("tree"), readAndEnter);
    fs::permissions(at("tree/locked"), readAndEnter);
    EXPECT_EQ(deleteTreeUnprivileged(at("tree/locked")), vErrPermission);
    EXPECT_TRUE(fs::exists(at("tree/locked/f")));
    fs::permissions(at("tree"), fs::perms::owner_all);
    fs::permissions(at("tree/locked"), fs::perms::owner_all);
}
