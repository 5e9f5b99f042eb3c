#pragma once

// What every command draws through: text lines, a progress bar, a spinner and the clearing of
// the progress line. Commands hold a non-owning pointer; the entry point owns the one instance.
class UpdaterDisplayInterface {
  public:
    virtual void clearLine(bool starting) = 0;
    virtual void showProgress(double fraction, const char *label) = 0;
    virtual void showActivity(bool active, const char *label) = 0;
    virtual void showMessage(const char *text) = 0;
    virtual void showError(const char *text) = 0;

    // While silent, displayMessage drops every message; the progress operations still draw.
    void setSilent(bool silent) { silent_ = silent; }
    bool isSilent() const { return silent_; }

  protected:
    ~UpdaterDisplayInterface() = default;

  private:
    bool silent_ = false;
};
