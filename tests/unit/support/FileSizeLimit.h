#pragma once
#include <sys/resource.h>

// Caps the size of any file this process writes while the object lives (a full disk in
// miniature that works even for root), and ignores the signal the cap would raise, so writes
// past it fail with EFBIG instead.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

  private:
    struct rlimit previous {};
    void (*previousHandler)(int) = nullptr;
};
