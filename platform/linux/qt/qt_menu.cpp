// The status item over QSystemTrayIcon (XEmbed or StatusNotifierItem, as Qt finds), and menus
// rendered into QMenu from the core's Menu value each time the menu is about to show. Not
// supported: a status item without a tray host has no button (Qt shows nothing then); the mixed
// state is drawn as a dash in the icon column, since QAction has no third state.
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QPixmap>

#include "app/visible_text.h"
#include "qt_services.h"

namespace kavelin::platform {

namespace {

QIcon mixedStateIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(QRect(3, 7, 10, 2), QApplication::palette().color(QPalette::Text));
    return QIcon(pixmap);
}

// A tray icon must have some picture to be shown; the item holds its place with a blank one
// until launching has finished.
QIcon blankIcon() {
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    return QIcon(pixmap);
}

} // namespace

QString literalText(const std::string& text) {
    // Tabs and line breaks read as spaces in a menu row; the other controls, bidirectional
    // overrides and separators show as visible stand-ins instead of reordering the title.
    std::string spaced = text;
    for (char& c : spaced) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    QString result = QString::fromStdString(visibleText(spaced));
    result.replace(QLatin1Char('&'), QLatin1String("&&"));
    return result;
}

void renderMenu(const Menu& menu, QMenu& target) {
    target.clear();
    for (QMenu* old : target.findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly))
        delete old;
    target.setTitle(literalText(menu.title));
    target.setToolTipsVisible(true);

    for (const auto& item : menu.items) {
        if (item->isSeparator) {
            target.addSeparator();
            continue;
        }
        QAction* action;
        if (item->submenu) {
            auto* submenu = new QMenu(literalText(item->title), &target);
            renderMenu(*item->submenu, *submenu);
            action = target.addMenu(submenu);
        } else {
            action = target.addAction(literalText(item->title));
        }
        action->setEnabled(item->enabled);
        action->setToolTip(item->toolTip ? QString::fromStdString(*item->toolTip) : QString());
        action->setProperty("kavelinState", static_cast<int>(item->state));
        if (item->state == ItemState::on) {
            action->setCheckable(true);
            action->setChecked(true);
        } else if (item->state == ItemState::mixed) {
            action->setIcon(mixedStateIcon());
        }
        if (item->symbolImage && item->state != ItemState::mixed)
            action->setIcon(QtImages::symbolIcon(*item->symbolImage));
        if (item->action) {
            // NOTE: the action may run a modal alert; queued, it runs after the menu has closed
            // and never while QMenu is still delivering the click. The shared pointer keeps the
            // item alive even if the menu is rebuilt before it runs.
            QObject::connect(action, &QAction::triggered, action, [item] {
                QMetaObject::invokeMethod(
                    qApp, [item] { item->action(*item); }, Qt::QueuedConnection);
            });
        }
    }
}

void QtStatusButton::setImage(const Image* image) {
    QIcon icon = image ? QtImages::icon(*image) : QIcon();
    tray.setIcon(icon.isNull() ? blankIcon() : icon);
}

void QtStatusButton::setToolTip(const std::string& toolTip) {
    tray.setToolTip(QString::fromStdString(toolTip));
}

QtStatusItem::QtStatusItem() {
    tray.setIcon(blankIcon());
    tray.show();
    // A left click opens the menu too: on a tray, Qt only opens the context menu on a right one.
    QObject::connect(&tray, &QSystemTrayIcon::activated, &tray,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (rendered && reason == QSystemTrayIcon::Trigger)
                             rendered->popup(QCursor::pos());
                     });
}

StatusButton* QtStatusItem::button() {
    return QSystemTrayIcon::isSystemTrayAvailable() ? &statusButton : nullptr;
}

void QtStatusItem::setMenu(std::shared_ptr<Menu> newMenu, MenuDelegate* newDelegate) {
    menu = std::move(newMenu);
    delegate = newDelegate;
    rendered = std::make_unique<QMenu>();
    QObject::connect(rendered.get(), &QMenu::aboutToShow, rendered.get(), [this] {
        if (delegate)
            delegate->menuNeedsUpdate(*menu);
        renderMenu(*menu, *rendered);
    });
    tray.setContextMenu(rendered.get());
}

std::unique_ptr<StatusItem> QtStatusBar::statusItemWithLength(double) {
    // A tray icon is square by nature; the length is the tray host's business.
    return std::make_unique<QtStatusItem>();
}

} // namespace kavelin::platform
