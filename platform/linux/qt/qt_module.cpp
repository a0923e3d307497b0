// The entry of the Qt menu-bar module, loaded by the program in application mode: checks for a
// graphical session, builds the Qt and desktop services and runs the application start. Not
// supported: starting without a display (one line on standard error, status 1).
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/kavelin.h"
#include "gio_workspace.h"
#include "platform/linux/dbus_restart_requester.h"
#include "platform/linux/pkexec_script_runner.h"
#include "platform/linux/single_instance.h"
#include "platform/linux/xdg_login_items.h"
#include "platform/native_services.h"
#include "platform/trace.h"
#include "qt_services.h"
#include "texts/texts.h"

namespace {

bool hasVariable(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Messages of Qt while QApplication starts, held back so that a failure gives one line only.
std::vector<std::pair<QtMsgType, QString>> startupMessages;

void holdStartupMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        // NOTE: Qt aborts right after a fatal message (no display reachable, no platform
        // plugin); leave first, with a line the user can act on, instead of a core dump.
        std::fputs(kavelin::texts::displayUnreachable, stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    startupMessages.emplace_back(type, message);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int kavelin_qt_start(int argc, char** argv) {
    using namespace kavelin::platform;
    if (!hasVariable("DISPLAY") && !hasVariable("WAYLAND_DISPLAY") &&
        !hasVariable("QT_QPA_PLATFORM")) {
        std::fputs(kavelin::texts::noGraphicalSession, stderr);
        return 1;
    }
    // A second start (a manual one beside the login launch) would add a second icon: it leaves
    // before Qt starts, and successfully, since the application the user asked for is running.
    // The lock stays held until this process ends.
    static SingleInstanceLock instance = SingleInstanceLock::claim(userRuntimeDirectory());
    if (instance.state() == InstanceClaim::heldElsewhere) {
        kavelin::platform::trace("instance", "another instance is running: leaving");
        return 0;
    }

    // NOTE: QApplication takes its own options (-platform, -display, -style, ...) from the
    // argument vector. The program has no option besides the listing's and ignores every other
    // argument, so Qt is given the program's name alone.
    static char fallbackName[] = "kavelin";
    int qtArgumentCount = 1;
    char* qtArguments[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    QtMessageHandler previous = qInstallMessageHandler(holdStartupMessage);
    QApplication application(qtArgumentCount, qtArguments);
    qInstallMessageHandler(previous);
    for (const auto& [type, message] : startupMessages)
        if (previous)
            previous(type, QMessageLogContext(), message);
    startupMessages.clear();

    QApplication::setApplicationName(QStringLiteral("kavelin"));
    QApplication::setApplicationDisplayName(QString::fromUtf8(kavelin::texts::applicationName));
    QApplication::setDesktopFileName(QStringLiteral("kavelin"));

    QtApplication app(application);
    QtStatusBar statusBar;
    QtImages images;
    QtAlerts alerts;
    GioWorkspace workspace;
    XdgLoginItems loginItems;
    PkexecScriptRunner scripts(PkexecScriptRunner::systemPkexec, waitInEventLoop);
    DbusRestartRequester restart;
    Platform platform{app,
                      statusBar,
                      images,
                      alerts,
                      workspace,
                      loginItems,
                      nativeVolumeSource(),
                      nativeTextService(),
                      scripts,
                      restart};
    return kavelin::runApplicationStart(platform);
}
