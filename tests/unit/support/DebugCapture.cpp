#include "support/DebugCapture.h"

#include "Messages.h"

#include <stdexcept>

DebugCapture::DebugCapture(uint32_t maskBits) : file_(std::tmpfile()) {
    if (file_ == nullptr) {
        throw std::runtime_error("tmpfile failed");
    }
    setDebugMask(maskBits);
    setDebugStream(file_);
}

DebugCapture::~DebugCapture() {
    setDebugStream(nullptr);
    std::fclose(file_);
}

std::string DebugCapture::text() const {
    std::fflush(file_);
    long end = std::ftell(file_);
    std::string text(static_cast<size_t>(end), '\0');
    std::rewind(file_);
    size_t got = std::fread(text.data(), 1, text.size(), file_);
    text.resize(got);
    std::fseek(file_, 0, SEEK_END);
    return text;
}
