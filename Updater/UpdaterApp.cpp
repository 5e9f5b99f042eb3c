#include "UpdaterApp.h"

#include <utility>

UpdaterApp::UpdaterApp(std::string serverUrl, std::string storeRoot,
                       UpdaterDisplayInterface *display)
    : serverUrl_(std::move(serverUrl)), storeRoot_(std::move(storeRoot)), display_(display) {}
