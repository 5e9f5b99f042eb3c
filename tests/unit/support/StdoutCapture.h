#pragma once
#include <functional>
#include <string>

// Runs body with file descriptor 1 pointed at a fresh pseudo-terminal (terminal true) or at a
// regular file, and gives back every byte written there. Check results only after it returns,
// since test output written during body would be captured too.
std::string captureStdout(bool terminal, const std::function<void()> &body);
