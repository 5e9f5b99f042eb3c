#pragma once
#include "UpdaterDisplayInterface.h"

#include <string>
#include <vector>

// A display that keeps what it was handed, for tests of the code that talks to it.
class RecordingDisplay final : public UpdaterDisplayInterface {
  public:
    void clearLine(bool starting) override { events.push_back(starting ? "clear+" : "clear-"); }
    void showProgress(double, const char *) override { events.push_back("progress"); }
    void showActivity(bool, const char *) override { events.push_back("activity"); }
    void showMessage(const char *text) override { messages.push_back(text); }
    void showError(const char *text) override { errors.push_back(text); }

    std::vector<std::string> messages;
    std::vector<std::string> errors;
    std::vector<std::string> events;
};
