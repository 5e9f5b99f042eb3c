#include "CLI_Display.h"

#include <quillmark/vConsole.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char *kBarSource =
    "=====================================================================";
constexpr int kBarWidth = 69;
constexpr int kLabelledBarWidth = 65;
constexpr int kClearingWidth = 88;
constexpr const char *kSpinnerFrames[] = {".", "..", "...", "....", ".....", "....", "...", ".."};
constexpr unsigned kSpinnerFrameCount = sizeof(kSpinnerFrames) / sizeof(kSpinnerFrames[0]);

// The spinner continues where the previous phase left it.
unsigned char spinnerPosition = 0;

bool drawingOnTerminal() {
    return vConsole_IsTerminal(stdout) != 0;
}

void writeClearingText() {
    std::fprintf(stdout, "\r%*s\r", kClearingWidth, " ");
}

} // namespace

CLI_Display::CLI_Display() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
}

void CLI_Display::clearLine(bool starting) {
    if (!starting && drawingOnTerminal()) {
        writeClearingText();
    }
}

void CLI_Display::showProgress(double fraction, const char *label) {
    if (!drawingOnTerminal()) {
        return;
    }
    // A fraction outside 0..1 (or not a number) and a label too long for the bar would draw
    // past the bar's text, so both are held to what fits.
    fraction = std::isgreaterequal(fraction, 0.0) ? std::min(fraction, 1.0) : 0.0;
    int width = label ? kLabelledBarWidth - static_cast<int>(std::strlen(label)) : kBarWidth;
    width = std::max(width, 1);
    int filled = static_cast<int>(width * fraction);
    int percent = static_cast<int>(fraction * 100);
    if (label) {
        std::fprintf(stdout, "\r (%s) [%.*s>%*s] (%3d%% ) ", label, filled, kBarSource,
                     width - filled - 1, "", percent);
    } else {
        std::fprintf(stdout, "\r[%.*s>%*s] (%3d%% ) ", filled, kBarSource, width - filled - 1, "",
                     percent);
    }
}

void CLI_Display::showActivity(bool active, const char *label) {
    if (!drawingOnTerminal()) {
        return;
    }
    if (!active) {
        writeClearingText();
        return;
    }
    const char *frame = kSpinnerFrames[spinnerPosition];
    if (label) {
        std::fprintf(stdout, "\r (%s) %s      \r", label, frame);
    } else {
        std::fprintf(stdout, "\r %s      \r", frame);
    }
    spinnerPosition = static_cast<unsigned char>((spinnerPosition + 1) % kSpinnerFrameCount);
}

void CLI_Display::showMessage(const char *text) {
    std::fprintf(stdout, "%s\n", text);
}

void CLI_Display::showError(const char *text) {
    std::fprintf(stderr, "%s\n", text);
}
