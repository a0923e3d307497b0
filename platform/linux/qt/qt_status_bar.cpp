// The status item over QSystemTrayIcon (XEmbed or StatusNotifierItem, as Qt finds), made once a
// tray host is there and made anew when one restarts, and menus rendered into QMenu from the
// core's Menu value each time the menu is about to show; a click opens it against the icon. Not
// supported: the mixed state is drawn as a dash in the icon column, since QAction has no third
// state.
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <algorithm>

#include "qt_services.h"
#include "qt_tray_hosts.h"
#include "texts/visible_text.h"

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
    // NOTE: the submenus are kept and rendered anew, in order. Exported to a StatusNotifierItem
    // host, a new submenu gets a new exported menu from Qt that deleting the submenu never frees,
    // which cost some 600 bytes at every opening.
    QList<QMenu*> submenus = target.findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
    qsizetype submenusUsed = 0;
    QtImages images;
    target.clear();
    target.setTitle(literalText(menu.title));
    target.setToolTipsVisible(true);

    for (const auto& item : menu.items) {
        if (item->isSeparator) {
            target.addSeparator();
            continue;
        }
        QAction* action;
        if (item->submenu) {
            QMenu* submenu =
                submenusUsed < submenus.size() ? submenus[submenusUsed] : new QMenu(&target);
            ++submenusUsed;
            renderMenu(*item->submenu, *submenu);
            action = target.addMenu(submenu);
            // A kept submenu's own item still carries the last opening's state and action.
            QObject::disconnect(action, &QAction::triggered, action, nullptr);
        } else {
            action = target.addAction(literalText(item->title));
        }
        action->setEnabled(item->enabled);
        action->setToolTip(item->toolTip ? QString::fromStdString(*item->toolTip) : QString());
        // A switch is checkable in both states, so that the style and a StatusNotifierItem
        // host draw its box when off too; the mixed state keeps its dash, unchecked.
        const bool mixed = item->state == ItemState::mixed;
        action->setCheckable(!mixed && (item->isToggle || item->state == ItemState::on));
        action->setChecked(item->state == ItemState::on);
        action->setIcon(mixed               ? mixedStateIcon()
                        : item->symbolImage ? images.symbolIcon(*item->symbolImage)
                                            : QIcon());
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
    for (qsizetype unused = submenusUsed; unused < submenus.size(); ++unused)
        delete submenus[unused];
}

QPoint statusMenuPosition(QRect icon, QSize menu, QRect screen, QRect workArea) {
    const int toTop = icon.top() - screen.top(), toBottom = screen.bottom() - icon.bottom();
    const int toLeft = icon.left() - screen.left(), toRight = screen.right() - icon.right();
    const int nearest = std::min({toTop, toBottom, toLeft, toRight});
    auto along = [](int start, int length, int low, int high) {
        return std::max(low, std::min(start, high - length + 1));
    };
    if (nearest == toTop || nearest == toBottom) {
        const int x = along(icon.left(), menu.width(), screen.left(), screen.right());
        if (nearest == toTop)
            return {x, std::max(icon.bottom() + 1, workArea.top())};
        return {x, std::min(icon.top(), workArea.bottom() + 1) - menu.height()};
    }
    const int y = along(icon.top(), menu.height(), screen.top(), screen.bottom());
    if (nearest == toLeft)
        return {std::max(icon.right() + 1, workArea.left()), y};
    return {std::min(icon.left(), workArea.right() + 1) - menu.width(), y};
}

QtStatusItem::QtStatusItem() : icon(blankIcon()) {
    // NOTE: Qt does not register its icon again with a restarted StatusNotifierItem watcher; a
    // new tray icon does. A restarted XEmbed tray, where Qt would dock the old icon again, gets a
    // new one as well, so that both kinds of host take the same road.
    auto dockAnew = [this] {
        tray.reset();
        dockOnceAHostShows();
    };
    hostWatch = std::make_unique<TrayHostWatch>(dockAnew, dockAnew);
    dockOnceAHostShows();
}

QtStatusItem::~QtStatusItem() = default;

// NOTE: Qt decides once per process, at its first tray icon, between StatusNotifierItem and
// XEmbed, and never looks for a StatusNotifierItem host again. At login the host often starts
// after the programs of the session, so the tray icon is made only once a host of either kind is
// there.
void QtStatusItem::dockOnceAHostShows() {
    if (tray || (!xembedTrayPresent() && !statusNotifierHostPresent()))
        return;
    tray = std::make_unique<QSystemTrayIcon>(icon);
    tray->setToolTip(toolTip);
    if (rendered)
        tray->setContextMenu(rendered.get());
    // A left click opens the menu too: on a tray, Qt only opens the context menu on a right one,
    // at the pointer; that one is moved against the icon.
    QObject::connect(tray.get(), &QSystemTrayIcon::activated, tray.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (!rendered)
                             return;
                         if (reason == QSystemTrayIcon::Trigger)
                             openMenuAgainstIcon();
                         else if (reason == QSystemTrayIcon::Context && rendered->isVisible())
                             rendered->move(menuPositionAgainstIcon());
                     });
    tray->show();
}

void QtStatusItem::setImage(const Image* image) {
    QIcon shown = image ? QtImages().icon(*image) : QIcon();
    icon = shown.isNull() ? blankIcon() : shown;
    if (tray)
        tray->setIcon(icon);
}

void QtStatusItem::setToolTip(const std::string& text) {
    toolTip = QString::fromStdString(text);
    if (tray)
        tray->setToolTip(toolTip);
}

void QtStatusItem::openMenuAgainstIcon() {
    // The menu is rebuilt first, so that its size is known where it is placed; the opening
    // itself then does not rebuild it a second time.
    if (delegate)
        delegate->menuNeedsUpdate(*menu);
    renderMenu(*menu, *rendered);
    rebuiltForOpening = true;
    rendered->popup(menuPositionAgainstIcon());
    rebuiltForOpening = false;
}

QPoint QtStatusItem::menuPositionAgainstIcon() {
    QRect icon = tray ? tray->geometry() : QRect();
    if (icon.isEmpty())
        icon = QRect(QCursor::pos(), QSize(1, 1));
    QScreen* screen = QGuiApplication::screenAt(icon.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return statusMenuPosition(icon, rendered->sizeHint(), screen->geometry(),
                              screen->availableGeometry());
}

void QtStatusItem::setMenu(std::shared_ptr<Menu> newMenu, MenuDelegate* newDelegate) {
    menu = std::move(newMenu);
    delegate = newDelegate;
    rendered = std::make_unique<QMenu>();
    QObject::connect(rendered.get(), &QMenu::aboutToShow, rendered.get(), [this] {
        // A click on the icon while an alert waits (which the menu then only says) is also the
        // way back to that alert, wherever it went: behind a window or minimised.
        bringAlertForward();
        if (rebuiltForOpening)
            return;
        if (delegate)
            delegate->menuNeedsUpdate(*menu);
        renderMenu(*menu, *rendered);
    });
    if (tray)
        tray->setContextMenu(rendered.get());
}

std::unique_ptr<StatusItem> QtStatusBar::statusItemWithLength(double) {
    // A tray icon is square by nature; the length is the tray host's business.
    return std::make_unique<QtStatusItem>();
}

} // namespace kavelin::platform
