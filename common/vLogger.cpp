#include <quillmark/vLogger.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <new>
#include <system_error>
#include <thread>

namespace {
constexpr std::uint16_t kLoggerCheckWord = 0xDEED;
}

struct vLoggerRecord {
    std::uint16_t checkWord = kLoggerCheckWord;
    std::uint32_t user = 0;
    vLogger_Callback callback = nullptr;
    vFileHandle file = nullptr;
    std::thread worker; // not joinable while no worker runs
    std::atomic<bool> running{false};
};

namespace {

bool isLogger(const vLoggerRecord *logger) {
    return logger != nullptr && logger->checkWord == kLoggerCheckWord;
}

void runWorker(vLoggerRecord *logger) {
    while (logger->running.load(std::memory_order_acquire)) {
        logger->callback(logger->file, logger->user);
    }
}

} // namespace

vLoggerHandle vLogger_Create(uint32_t user, vLogger_Callback callback, const char *path) {
    if (callback == nullptr) {
        return nullptr;
    }
    auto *logger = new (std::nothrow) vLoggerRecord;
    if (logger == nullptr) {
        return nullptr;
    }
    logger->file = vFile_Open(path, vFileModeAppend);
    if (logger->file == nullptr) {
        delete logger;
        return nullptr;
    }
    logger->user = user;
    logger->callback = callback;
    return logger;
}

vErr vLogger_Enable(vLoggerHandle logger) {
    if (!isLogger(logger)) {
        return vErrParam;
    }
    if (logger->worker.joinable()) {
        return vErrNone;
    }
    logger->running.store(true, std::memory_order_release);
    try {
        logger->worker = std::thread(runWorker, logger);
    } catch (const std::system_error &) {
        logger->running.store(false, std::memory_order_release);
        return vErrResource;
    }
    return vErrNone;
}

vErr vLogger_Disable(vLoggerHandle logger) {
    if (!isLogger(logger)) {
        return vErrParam;
    }
    if (!logger->worker.joinable()) {
        return vErrNone;
    }
    logger->running.store(false, std::memory_order_release);
    vErr result = vErrNone;
    try {
        logger->worker.join();
    } catch (const std::system_error &) {
        // Joining fails only when called from the worker itself; the worker then ends on its
        // own once the callback returns.
        std::fflush(stderr);
        logger->worker.detach();
        result = vErrTimeout;
    }
    return result;
}

vErr vLogger_Destroy(vLoggerHandle *logger) {
    if (logger == nullptr || !isLogger(*logger)) {
        return vErrNone;
    }
    vErr result = vLogger_Disable(*logger);
    vFile_Close(&(*logger)->file);
    if (result == vErrNone) {
        (*logger)->checkWord = 0;
        delete *logger;
        *logger = nullptr;
    }
    return result;
}
