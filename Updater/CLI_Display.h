#pragma once
#include "UpdaterDisplayInterface.h"

// The console display: text to standard output and standard error, and a progress bar and
// spinner drawn only when standard output is a terminal.
class CLI_Display final : public UpdaterDisplayInterface {
  public:
    CLI_Display();
    void clearLine(bool starting) override;
    void showProgress(double fraction, const char *label) override;
    void showActivity(bool active, const char *label) override;
    void showMessage(const char *text) override;
    void showError(const char *text) override;
};
