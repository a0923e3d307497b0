// The application object over QApplication: an accessory without windows of its own, whose event
// loop delivers the launch notification once it runs. Not supported: hiding alerts from the
// taskbar (the window manager decides for top-level dialogs).
#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include "qt_services.h"

namespace kavelin::platform {

void QtApplication::setActivationPolicyAccessory() {
    // The application has no window: closing its last alert must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
}

int QtApplication::run() {
    QTimer::singleShot(0, &application, [this] {
        if (delegate)
            delegate->applicationDidFinishLaunching();
    });
    return QApplication::exec();
}

void QtApplication::terminate() {
    QApplication::exit(0);
}

void QtApplication::activateIgnoringOtherApps() {
    // The alert that follows raises itself as it shows; a dialog already up is brought forward.
    bringAlertForward();
}

bool bringAlertForward() {
    QWidget* alert = QApplication::activeModalWidget();
    if (!alert)
        return false;
    // Without a taskbar, an alert left behind another window or minimised is out of reach.
    alert->setWindowState(alert->windowState() & ~Qt::WindowMinimized);
    alert->show();
    alert->raise();
    alert->activateWindow();
    return true;
}

void waitInEventLoop(int descriptor) {
    QEventLoop loop;
    QSocketNotifier readable(static_cast<qintptr>(descriptor), QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace kavelin::platform
