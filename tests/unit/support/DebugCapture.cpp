#include "support/DebugCapture.h"

#include "Messages.h"

#include <cstdlib>

DebugCapture::DebugCapture(uint32_t maskBits) {
    stream_ = open_memstream(&buffer_, &size_);
    setDebugMask(maskBits);
    setDebugStream(stream_);
}

DebugCapture::~DebugCapture() {
    setDebugStream(nullptr);
    std::fclose(stream_);
    std::free(buffer_);
}

std::string DebugCapture::text() const {
    std::fflush(stream_);
    return std::string(buffer_, size_);
}
