#include "support/FileSizeLimit.h"

#include <csignal>

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &previous);
    previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit capped = previous;
    capped.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &capped);
}

FileSizeLimit::~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
}
