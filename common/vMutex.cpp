#include <quillmark/vMutex.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

namespace {
constexpr std::uint32_t kMutexCheckWord = 0xBEAD;
}

// The owner and depth are kept by hand (rather than in a recursive mutex) so that Destroy can
// tell whether another thread holds the lock without blocking on it.
struct vMutexRecord {
    std::uint32_t checkWord = kMutexCheckWord;
    std::mutex guard;
    std::condition_variable released;
    std::thread::id owner;
    unsigned depth = 0;
    char name[V_MUTEX_NAME_MAX + 1] = {};

    bool heldByOther() const { return depth > 0 && owner != std::this_thread::get_id(); }
    void take() {
        owner = std::this_thread::get_id();
        ++depth;
    }
};

namespace {
bool isMutex(const vMutexRecord *mutex) {
    return mutex != nullptr && mutex->checkWord == kMutexCheckWord;
}
} // namespace

vMutexHandle vMutex_Create(const char *name) {
    if (name != nullptr && std::strlen(name) > V_MUTEX_NAME_MAX) {
        return nullptr;
    }
    auto *mutex = new (std::nothrow) vMutexRecord;
    if (mutex != nullptr && name != nullptr) {
        std::strcpy(mutex->name, name);
    }
    return mutex;
}

const char *vMutex_Identifier(vMutexHandle mutex) {
    return isMutex(mutex) ? mutex->name : "";
}

vErr vMutex_Destroy(vMutexHandle *mutex) {
    if (mutex == nullptr || !isMutex(*mutex)) {
        return vErrParam;
    }
    {
        std::lock_guard<std::mutex> hold((*mutex)->guard);
        if ((*mutex)->heldByOther()) {
            return vErrBusy;
        }
        (*mutex)->checkWord = 0;
    }
    delete *mutex;
    *mutex = nullptr;
    return vErrNone;
}

vErr vMutex_Lock(vMutexHandle mutex) {
    if (!isMutex(mutex)) {
        return vErrParam;
    }
    std::unique_lock<std::mutex> hold(mutex->guard);
    mutex->released.wait(hold, [mutex] { return !mutex->heldByOther(); });
    mutex->take();
    return vErrNone;
}

vErr vMutex_TryLock(vMutexHandle mutex) {
    if (!isMutex(mutex)) {
        return vErrParam;
    }
    std::lock_guard<std::mutex> hold(mutex->guard);
    if (mutex->heldByOther()) {
        return vErrBusy;
    }
    mutex->take();
    return vErrNone;
}

vErr vMutex_Unlock(vMutexHandle mutex) {
    if (!isMutex(mutex)) {
        return vErrParam;
    }
    std::lock_guard<std::mutex> hold(mutex->guard);
    if (mutex->depth == 0 || mutex->owner != std::this_thread::get_id()) {
        return vErrPermission;
    }
    if (--mutex->depth == 0) {
        mutex->owner = std::thread::id();
        mutex->released.notify_one();
    }
    return vErrNone;
}
