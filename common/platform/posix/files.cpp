#include "platform/platform.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr mode_t kNewFilePermissions = 0666; // narrowed by the process umask

// Closes without letting close() overwrite the errno that explains the earlier failure.
void closeKeepingErrno(int descriptor) {
    int saved = errno;
    ::close(descriptor);
    errno = saved;
}

bool isDirectoryDescriptor(int descriptor) {
    struct stat status {};
    return ::fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode);
}

int openFlags(FileOpenMode mode) {
    switch (mode) {
    case FileOpenMode::ReadShared:
        return O_RDONLY;
    case FileOpenMode::WriteExclusive:
        return O_WRONLY | O_CREAT | O_DSYNC;
    case FileOpenMode::AppendShared:
        return O_RDWR | O_CREAT | O_DSYNC;
    }
    return O_RDONLY;
}

// A reader shares with everyone, so it takes no lock at all.
int lockOperation(FileOpenMode mode) {
    return mode == FileOpenMode::WriteExclusive ? LOCK_EX : LOCK_SH;
}

// Truncation and positioning happen only once the lock is ours, so a refused writer leaves the
// file as it was.
bool prepareOpened(int descriptor, FileOpenMode mode) {
    if (mode == FileOpenMode::ReadShared) {
        return true;
    }
    if (::flock(descriptor, lockOperation(mode) | LOCK_NB) != 0) {
        return false;
    }
    if (mode == FileOpenMode::WriteExclusive) {
        return ::ftruncate(descriptor, 0) == 0;
    }
    return ::lseek(descriptor, 0, SEEK_END) >= 0;
}

std::string directoryOf(const std::string &path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

std::string baseNameOf(const std::string &path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string siblingName(const std::string &path, unsigned long sequence) {
    std::string directory = directoryOf(path);
    if (directory == ".") {
        directory.clear();
    }
    return directory + "." + baseNameOf(path) + "." + std::to_string(::getpid()) + "-" +
           std::to_string(sequence);
}

void syncDirectoryOf(const char *path) {
    int descriptor = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        ::fsync(descriptor);
        ::close(descriptor);
    }
}

} // namespace

vErr openFile(const char *path, FileOpenMode mode, FileHandle *handle) {
    int descriptor = ::open(path, openFlags(mode) | O_CLOEXEC, kNewFilePermissions);
    if (descriptor < 0) {
        return vErrIO;
    }
    if (isDirectoryDescriptor(descriptor)) {
        ::close(descriptor);
        errno = EISDIR;
        return vErrIO;
    }
    if (!prepareOpened(descriptor, mode)) {
        closeKeepingErrno(descriptor);
        return vErrIO;
    }
    *handle = descriptor;
    return vErrNone;
}

vErr createFileBeside(const char *path, char *created, std::size_t size, FileHandle *handle) {
    static std::atomic<unsigned long> sequence{0};
    constexpr int kAttempts = 100; // only stale leftovers of this same process id can collide
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string name = siblingName(path, sequence++);
        if (name.size() >= size) {
            errno = ENAMETOOLONG;
            return vErrFileNameLength;
        }
        int descriptor =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFilePermissions);
        if (descriptor >= 0) {
            std::memcpy(created, name.c_str(), name.size() + 1);
            *handle = descriptor;
            return vErrNone;
        }
        if (errno != EEXIST) {
            return vErrIO;
        }
    }
    return vErrIO;
}

vErr closeFile(FileHandle handle) {
    return ::close(handle) == 0 ? vErrNone : vErrIO;
}

vErr readFile(FileHandle handle, void *buffer, std::size_t length, std::size_t *count) {
    auto *bytes = static_cast<char *>(buffer);
    std::size_t total = 0;
    while (total < length) {
        ssize_t got = ::read(handle, bytes + total, length - total);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            *count = total;
            return vErrRead;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    *count = total;
    return vErrNone;
}

vErr writeFile(FileHandle handle, const void *data, std::size_t length, std::size_t *count) {
    const auto *bytes = static_cast<const char *>(data);
    std::size_t total = 0;
    while (total < length) {
        ssize_t put = ::write(handle, bytes + total, length - total);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            *count = total;
            return vErrWrite;
        }
        total += static_cast<std::size_t>(put);
    }
    *count = total;
    return vErrNone;
}

vErr flushFileData(FileHandle handle) {
    return ::fdatasync(handle) == 0 ? vErrNone : vErrWrite;
}

vErr fileSize(FileHandle handle, std::uint64_t *size) {
    struct stat status {};
    if (::fstat(handle, &status) != 0) {
        return vErrIO;
    }
    *size = static_cast<std::uint64_t>(status.st_size);
    return vErrNone;
}

vErr filePosition(FileHandle handle, std::uint64_t *position) {
    off_t at = ::lseek(handle, 0, SEEK_CUR);
    if (at < 0) {
        return vErrIO;
    }
    *position = static_cast<std::uint64_t>(at);
    return vErrNone;
}

vErr setFilePosition(FileHandle handle, std::uint64_t position) {
    return ::lseek(handle, static_cast<off_t>(position), SEEK_SET) < 0 ? vErrIO : vErrNone;
}

bool isNonDirectory(const char *path) {
    struct stat status {};
    return ::stat(path, &status) == 0 && !S_ISDIR(status.st_mode);
}

vErr replaceFile(const char *from, const char *to) {
    if (::rename(from, to) != 0) {
        return vErrIO;
    }
    syncDirectoryOf(to);
    return vErrNone;
}

} // namespace platform
