#pragma once

#include "app/kavelin.h"

namespace kavelin {

// Reaches the delegate's private state and commands, as the platform would through the menu.
struct KavelinTestAccess {
    static platform::Menu& menu(Kavelin& k) { return *k.menu; }
    static void setWorking(Kavelin& k, bool working) { k.isWorking = working; }
    static void openStartupSettings(Kavelin& k) { k.openStartupSettings(); }
    static void showSettingsFallback(Kavelin& k, const std::string& title,
                                     const std::string& detail) {
        k.showSettingsFallback(title, detail);
    }
};

} // namespace kavelin
