#include "app/kavelin.h"

#include <utility>

#include "settings/launch_at_login.h"
#include "settings/startup_settings.h"
#include "startup/select_volume.h"
#include "texts/texts.h"
#include "volumes/startup_volume.h"

namespace kavelin {

namespace {

constexpr const char* iconResource = "MenuIcon";
constexpr const char* iconExtension = "png";
constexpr const char* driveSymbol = "internaldrive";
constexpr double iconSide = 18;

// An item without action, shown greyed: headers and notices.
std::shared_ptr<platform::MenuItem> notice(const char* title) {
    auto item = std::make_shared<platform::MenuItem>(title, nullptr);
    item->enabled = false;
    return item;
}

} // namespace

Kavelin::Kavelin(platform::Platform& platform)
    : platform(platform),
      statusItem(platform.statusBar.statusItemWithLength(platform::squareStatusItemLength)),
      menu(std::make_shared<platform::Menu>()), isWorking(false) {}

void Kavelin::applicationDidFinishLaunching() {
    std::optional<platform::Image> icon;
    if (auto path = platform.images.pathForResource(iconResource, iconExtension))
        icon = platform.images.imageWithContentsOfFile(*path);
    if (!icon)
        icon = platform.images.systemSymbol(driveSymbol, std::string(texts::applicationName));
    if (icon) {
        icon->width = iconSide;
        icon->height = iconSide;
        icon->accessibilityDescription = texts::applicationName;
    }
    if (auto* button = statusItem->button()) {
        button->setImage(icon ? &*icon : nullptr);
        button->setToolTip(texts::applicationName);
    }
    // The status item has no action of its own: a click opens the menu, rebuilt just before.
    statusItem->setMenu(menu, this);
}

void Kavelin::menuNeedsUpdate(platform::Menu& target) {
    target.removeAllItems();
    if (isWorking) {
        target.addItem(notice(texts::busy));
        return;
    }
    target.addItem(notice(texts::menuHeader));

    auto volumes = StartupVolume::mounted(platform.volumes, platform.text);
    for (auto& volume : volumes) {
        auto item = std::make_shared<VolumeMenuItem>(
            volume.menuTitle(), [this](const platform::MenuItem& sender) {
                // Only volume items carry this action; anything else has no volume to choose.
                if (auto* chosen = dynamic_cast<const VolumeMenuItem*>(&sender))
                    selectVolume(*chosen);
            });
        item->volume = std::move(volume);
        item->symbolImage = driveSymbol;
        target.addItem(std::move(item));
    }
    if (volumes.empty())
        target.addItem(notice(texts::noVolume));

    target.addItem(platform::MenuItem::separatorItem());
    target.addItem(std::make_shared<platform::MenuItem>(
        texts::openStartupDiskItem, [this](const platform::MenuItem&) { openStartupSettings(); }));

    auto options = std::make_shared<platform::Menu>();
    options->title = texts::options;
    auto launchAtLogin = std::make_shared<platform::MenuItem>(
        texts::launchAtLogin, [this](const platform::MenuItem&) { toggleLaunchAtLogin(); });
    launchAtLogin->isToggle = true;
    switch (platform.loginItems.status()) {
    case platform::loginItemEnabled:
        launchAtLogin->state = platform::ItemState::on;
        break;
    case platform::loginItemRequiresApproval:
        launchAtLogin->state = platform::ItemState::mixed;
        launchAtLogin->toolTip = texts::approvalRequiredTip;
        break;
    default:
        break;
    }
    options->addItem(std::move(launchAtLogin));
    auto optionsItem = std::make_shared<platform::MenuItem>(texts::options, nullptr);
    optionsItem->submenu = std::move(options);
    target.addItem(std::move(optionsItem));

    target.addItem(platform::MenuItem::separatorItem());
    target.addItem(std::make_shared<platform::MenuItem>(
        texts::quit, [this](const platform::MenuItem&) { quit(); }));
}

void Kavelin::selectVolume(const VolumeMenuItem& sender) {
    // An item whose record is missing has nothing to choose.
    if (sender.volume)
        kavelin::selectVolume(platform, isWorking, *sender.volume);
}

void Kavelin::toggleLaunchAtLogin() {
    kavelin::toggleLaunchAtLogin(platform);
}

void Kavelin::openStartupSettings() {
    kavelin::openStartupSettings(platform);
}

void Kavelin::quit() {
    platform.application.terminate();
}

} // namespace kavelin
