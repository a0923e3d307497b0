// The desktop services of the menu-bar application over Qt6 Widgets: application object, status
// item (QSystemTrayIcon), menus rendered from the core's Menu value, images and modal alerts.
// Not supported: key equivalents other than Return, Escape and none; accessibility descriptions
// of tray icons (the tool tip stands in); image sizes (the tray host sizes its icons).
#pragma once

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/alert.h"
#include "platform/application.h"
#include "platform/images.h"
#include "platform/menu.h"
#include "platform/status_bar.h"

class QApplication;

namespace kavelin::platform {

class QtApplication final : public Application {
public:
    explicit QtApplication(QApplication& application) : application(application) {}
    void setActivationPolicyAccessory() override;
    void setDelegate(ApplicationDelegate* delegate) override { this->delegate = delegate; }
    int run() override;
    void terminate() override;
    void activateIgnoringOtherApps() override;

private:
    QApplication& application;
    ApplicationDelegate* delegate = nullptr;
};

// Raises and activates the alert that is up, if one is; false when none is.
bool bringAlertForward();

// Runs the event loop until the descriptor is readable: a blocking call of the core (the
// administrator prompt) then leaves the status item and its menu alive. Returns at once when the
// application is quitting.
void waitInEventLoop(int descriptor);

class QtImages final : public Images {
public:
    // Resources are looked for in these folders, in order.
    explicit QtImages(std::vector<std::filesystem::path> resourceFolders);
    // share/kavelin beside the program (build folder) and in its prefix (installed).
    QtImages();

    std::optional<std::string> pathForResource(const std::string& name,
                                               const std::string& extension) override;
    std::optional<Image> imageWithContentsOfFile(const std::string& path) override;
    std::optional<Image> systemSymbol(const std::string& name,
                                      const std::optional<std::string>& description) override;

    // What an image value draws; a null icon for an unknown symbol or an unreadable file.
    QIcon icon(const Image& image);
    // The drive picture for "internaldrive"; a null icon for any other name.
    QIcon symbolIcon(const std::string& name);
    // Kavelin's drive picture at every size the build rendered, else the theme's or the style's
    // hard-disk icon.
    QIcon programIcon();

private:
    std::vector<std::filesystem::path> resourceFolders;
};

// Replaces the contents of target with the items of menu. Chosen items run their action once the
// menu has closed, from the event loop, with the item kept alive meanwhile.
void renderMenu(const Menu& menu, QMenu& target);

// Menu and button texts are shown literally, on one line: '&' is not a mnemonic marker, a tab
// not a column, and a bidirectional override cannot reorder the row (see visibleText).
QString literalText(const std::string& text);

class TrayHostWatch;

// Where a status menu of the given size opens: against the icon, on the side away from the
// screen edge that the tray bar lies on, inside the screen. An icon of unknown place (hosts of
// StatusNotifierItem keep it to themselves) is the pointer, and the menu then keeps out of the
// bar by staying inside the work area that the window manager reports.
QPoint statusMenuPosition(QRect icon, QSize menu, QRect screen, QRect workArea);

// The status item is its own button: the icon and tool tip are kept here and given to the tray
// icon, which exists once a tray host does.
class QtStatusItem final : public StatusItem, public StatusButton {
public:
    QtStatusItem();
    ~QtStatusItem() override;
    StatusButton* button() override { return this; }
    void setImage(const Image* image) override;
    void setToolTip(const std::string& toolTip) override;
    void setMenu(std::shared_ptr<Menu> menu, MenuDelegate* delegate) override;

    // The rendered menu; nullptr until setMenu.
    QMenu* renderedMenu() { return rendered.get(); }

private:
    void dockOnceAHostShows();
    void openMenuAgainstIcon();
    QPoint menuPositionAgainstIcon();

    std::shared_ptr<Menu> menu;
    MenuDelegate* delegate = nullptr;
    std::unique_ptr<QMenu> rendered; // outlives the tray icon that shows it
    QIcon icon;
    QString toolTip;
    bool rebuiltForOpening = false;
    std::unique_ptr<TrayHostWatch> hostWatch;
    std::unique_ptr<QSystemTrayIcon> tray;
};

class QtStatusBar final : public StatusBar {
public:
    std::unique_ptr<StatusItem> statusItemWithLength(double length) override;
};

class QtAlerts final : public Alerts {
public:
    QtAlerts();
    int runModal(const Alert& alert) override;

private:
    QIcon icon;
};

} // namespace kavelin::platform
