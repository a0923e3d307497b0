#include "app/kavelin.h"

#include <utility>

#include "settings/launch_at_login.h"
#include "settings/startup_settings.h"
#include "startup/select_volume.h"
#include "volumes/startup_volume.h"

namespace kavelin {

namespace {

constexpr const char* applicationName = "Kavelin";
constexpr const char* iconResource = "MenuIcon";
constexpr const char* iconExtension = "png";
constexpr const char* driveSymbol = "internaldrive";
constexpr double iconSide = 18;

constexpr const char* busyTitle = "Autorisation en cours\u2026";
constexpr const char* headerTitle = "Disques de d\u00e9marrage";
constexpr const char* noVolumeTitle = "Aucun volume macOS d\u00e9tect\u00e9";
constexpr const char* openSettingsTitle = "Ouvrir Disque de d\u00e9marrage\u2026";
constexpr const char* optionsTitle = "Options";
constexpr const char* launchAtLoginTitle = "Boot au d\u00e9marrage du syst\u00e8me";
constexpr const char* approvalToolTip = "Autorisation requise dans R\u00e9glages Syst\u00e8me.";
constexpr const char* quitTitle = "Quitter Kavelin";

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
        icon = platform.images.systemSymbol(driveSymbol, std::string(applicationName));
    if (icon) {
        icon->width = iconSide;
        icon->height = iconSide;
        icon->accessibilityDescription = applicationName;
    }
    if (auto* button = statusItem->button()) {
        button->setImage(icon ? &*icon : nullptr);
        button->setToolTip(applicationName);
    }
    // The status item has no action of its own: a click opens the menu, rebuilt just before.
    statusItem->setMenu(menu, this);
}

void Kavelin::menuNeedsUpdate(platform::Menu& target) {
    target.removeAllItems();
    if (isWorking) {
        target.addItem(notice(busyTitle));
        return;
    }
    target.addItem(notice(headerTitle));

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
        target.addItem(notice(noVolumeTitle));

    target.addItem(platform::MenuItem::separatorItem());
    target.addItem(std::make_shared<platform::MenuItem>(
        openSettingsTitle, [this](const platform::MenuItem&) { openStartupSettings(); }));

    auto options = std::make_shared<platform::Menu>();
    options->title = optionsTitle;
    auto launchAtLogin = std::make_shared<platform::MenuItem>(
        launchAtLoginTitle, [this](const platform::MenuItem&) { toggleLaunchAtLogin(); });
    switch (platform.loginItems.status()) {
    case platform::loginItemEnabled:
        launchAtLogin->state = platform::ItemState::on;
        break;
    case platform::loginItemRequiresApproval:
        launchAtLogin->state = platform::ItemState::mixed;
        launchAtLogin->toolTip = approvalToolTip;
        break;
    default:
        break;
    }
    options->addItem(std::move(launchAtLogin));
    auto optionsItem = std::make_shared<platform::MenuItem>(optionsTitle, nullptr);
    optionsItem->submenu = std::move(options);
    target.addItem(std::move(optionsItem));

    target.addItem(platform::MenuItem::separatorItem());
    target.addItem(std::make_shared<platform::MenuItem>(
        quitTitle, [this](const platform::MenuItem&) { quit(); }));
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
