#pragma once

#include <memory>
#include <string>

#include "platform/images.h"
#include "platform/menu.h"

namespace kavelin::platform {

inline constexpr double squareStatusItemLength = -2.0;

class StatusButton {
public:
    virtual ~StatusButton() = default;
    // nullptr removes the image. Cannot fail.
    virtual void setImage(const Image* image) = 0;
    virtual void setToolTip(const std::string& toolTip) = 0;
};

class StatusItem {
public:
    virtual ~StatusItem() = default;
    // The item's button; nullptr when the platform gives it none (no tray, for instance).
    virtual StatusButton* button() = 0;
    // A click opens the menu; the delegate rebuilds it each time before it shows. The status
    // item keeps the menu alive; it does not own the delegate.
    virtual void setMenu(std::shared_ptr<Menu> menu, MenuDelegate* delegate) = 0;
};

class StatusBar {
public:
    virtual ~StatusBar() = default;
    // A new item that stays in the status bar while its owner holds it. Never null.
    virtual std::unique_ptr<StatusItem> statusItemWithLength(double length) = 0;
};

} // namespace kavelin::platform
