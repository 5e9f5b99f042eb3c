#pragma once
#include <chrono>
#include <thread>

// Tests `condition` every stepMs until it holds (true) or timeoutMs have passed (false).
template <typename Condition> bool pollUntil(Condition condition, int timeoutMs, int stepMs = 5) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return true;
}
