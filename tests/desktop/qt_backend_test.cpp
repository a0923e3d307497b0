// The Qt services against real widgets, offscreen and under Xvfb with the GNOME platform theme;
// the tray icon, its menus and the keys of the alerts in real sessions (select_volume_e2e.sh).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "gio_workspace.h"
#include "platform/trace.h"
#include "qt_services.h"

namespace kavelin::platform {
namespace {

TEST(QtAlerts, ShowTextsLiterallyWithKavelinsIcon) {
    Alert alert{"<b>Data</b> \u00ab\u00a0\uf8ff x\u00a0\u00bb",
                "<i>d\u00e9tail</i> utilise le menu \uf8ff > Red\u00e9marrer.",
                {}};
    alert.addButtonWithTitle("Ouvrir & fermer");
    // Once the alert shows: answered first, so that no failed check leaves it up, then looked at.
    QTimer::singleShot(0, [] {
        auto& box = *qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        box.buttons().at(0)->click();
        EXPECT_EQ(box.buttons().at(0)->text(), "Ouvrir && fermer"); // no mnemonic
        for (auto [name, text, bold] :
             {std::tuple{"qt_msgbox_label", "<b>Data</b> \u00ab\u00a0Apple x\u00a0\u00bb", true},
              {"qt_msgbox_informativelabel",
               "<i>d\u00e9tail</i> utilise le menu du syst\u00e8me > Red\u00e9marrer.", false}}) {
            auto* label = box.findChild<QLabel*>(name);
            ASSERT_TRUE(label) << name;
            ASSERT_FALSE(QFontMetrics(label->font()).inFontUcs4(0xf8ff))
                << "this font draws U+F8FF: no words needed";
            EXPECT_EQ(label->text().toStdString(), text);
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            EXPECT_EQ(label->font().bold(), bold) << name;
        }
        // Kavelin's icon, enlarged without blurring to the size of a dialog icon.
        const auto path = QtImages().pathForResource("MenuIcon", "png");
        ASSERT_TRUE(path) << "share/kavelin/MenuIcon.png is missing from the build folder";
        const QImage menuIcon = QPixmap(QString::fromStdString(*path)).toImage();
        EXPECT_GE(box.iconPixmap().width(), 64);
        EXPECT_EQ(box.iconPixmap().toImage().scaled(menuIcon.size()), menuIcon);
    });
    EXPECT_EQ(QtAlerts().runModal(alert), firstButtonReturn);
}

// What a rendered menu shows, one line per action, a submenu's actions in braces.
QStringList describe(const QList<QAction*>& actions) {
    QStringList lines;
    for (QAction* a : actions)
        lines << (a->isSeparator() ? "---" : a->text()) + (a->isEnabled() ? "" : " [disabled]") +
                     (a->icon().isNull() ? "" : " [icon]") +
                     (a->isCheckable() ? (a->isChecked() ? " [x]" : " [ ]") : "") +
                     (a->toolTip() == a->iconText() ? "" : " [tip " + a->toolTip() + "]") +
                     (a->menu() ? " {" + describe(a->menu()->actions()).join("} {") + "}" : "");
    return lines;
}

TEST(QtMenuRendering, ShowsTitlesLiterallyAndRunsTheChosenItemOnceTheMenuHasClosed) {
    std::vector<std::string> chosen;
    auto menu = std::make_shared<Menu>(), options = std::make_shared<Menu>();
    auto add = [&chosen](Menu& to, const std::string& title) {
        to.addItem(std::make_shared<MenuItem>(
            title, [&chosen](const MenuItem& sender) { chosen.push_back(sender.title); }));
        return to.items.back();
    };
    add(*menu, "Disques de d\u00e9marrage")->enabled = false;
    add(*menu, "Data & Co\tX\n\u202E\u2029\x1b")->symbolImage = "internaldrive";
    menu->addItem(MenuItem::separatorItem());
    options->title = "Options";
    auto waiting = add(*options, "En attente");
    waiting->state = ItemState::mixed;
    waiting->toolTip = "Autorisation requise";
    waiting->isToggle = true;
    for (ItemState state : {ItemState::off, ItemState::on}) {
        auto toggle = add(*options, state == ItemState::on ? "Oui" : "Non");
        toggle->isToggle = true;
        toggle->state = state;
    }
    add(*menu, "Options")->submenu = options;
    QMenu target;
    renderMenu(*menu, target);
    renderMenu(*menu, target); // as a second opening would
    EXPECT_EQ(
        describe(target.actions()),
        (QStringList{
            "Disques de d\u00e9marrage [disabled]", "Data && Co X <U+202E><U+2029>\u241B [icon]",
            "---", "Options {En attente [icon] [tip Autorisation requise]} {Non [ ]} {Oui [x]}"}));
    EXPECT_EQ(target.findChildren<QMenu*>().size(), 1) << "the first rendering's submenu is gone";
    EXPECT_TRUE(target.actions().at(3)->menu()->toolTipsVisible());

    target.actions().at(3)->menu()->actions().at(0)->trigger();
    EXPECT_TRUE(chosen.empty()) << "runs from the event loop, not inside the click";
    options->removeAllItems(); // a rebuild meanwhile must not free the chosen item
    waiting.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, std::vector<std::string>{"En attente"});
}

// Exported to a StatusNotifierItem host, every new submenu costs memory that Qt never gives
// back (bench/qt/tray_session.sh measures it): openings keep the submenus they can.
TEST(QtMenuRendering, KeepsItsSubmenusAcrossOpeningsWithoutTheLastOpeningsState) {
    int runs = 0;
    auto menu = std::make_shared<Menu>();
    auto options = std::make_shared<MenuItem>("Options", [&runs](const MenuItem&) { ++runs; });
    options->submenu = std::make_shared<Menu>();
    options->submenu->title = "Options";
    options->submenu->addItem(std::make_shared<MenuItem>("Boot", nullptr));
    options->symbolImage = "internaldrive";
    options->toolTip = "Avant";
    menu->addItem(options);
    QMenu target;
    renderMenu(*menu, target);
    QPointer<QMenu> first = target.actions().at(0)->menu();
    options->symbolImage.reset();
    options->toolTip.reset();
    renderMenu(*menu, target);
    EXPECT_EQ(target.actions().at(0)->menu(), first.data()) << "the submenu was made anew";
    EXPECT_EQ(describe(target.actions()), QStringList{"Options {Boot}"});
    target.actions().at(0)->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1) << "the item's action runs once, not once per opening";

    menu->removeAllItems();
    renderMenu(*menu, target);
    EXPECT_TRUE(first.isNull()) << "a submenu no longer in the menu is deleted";
}

TEST(QtStatusMenu, OpensAgainstTheIconAwayFromTheBarAndStaysOnScreen) {
    const QRect screen(0, 0, 800, 600), whole = screen;
    const QSize menu(200, 150);
    const struct {
        const char* story;
        QRect icon, workArea;
        QPoint expected;
    } cases[] = {
        {"top bar, right end: pulled in from the edge", {776, 1, 22, 22}, whole, {600, 23}},
        {"top bar, left end: from the icon's left edge", {40, 1, 22, 22}, whole, {40, 23}},
        {"bottom bar: above the icon", {300, 578, 22, 22}, whole, {300, 428}},
        {"left bar: beside the icon", {1, 300, 22, 22}, whole, {23, 300}},
        {"right bar, low down: lifted onto the screen", {778, 560, 22, 22}, whole, {578, 450}},
        {"pointer, top bar: below the work area", {770, 12, 1, 1}, {0, 30, 800, 570}, {600, 30}},
        {"pointer, bottom bar: above it", {100, 590, 1, 1}, {0, 0, 800, 570}, {100, 420}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(statusMenuPosition(c.icon, menu, screen, c.workArea), c.expected) << c.story;
}

TEST(QtImages, FindTheProgramIconElseTheDriveSymbol) {
    QtImages images; // the build copies share/kavelin beside the program, and so this test
    auto image = images.imageWithContentsOfFile(images.pathForResource("MenuIcon", "png").value());
    ASSERT_TRUE(image);
    // 18 x 18 points at two pixels a point, sharp on high-density bars.
    EXPECT_EQ(QtImages::icon(*image).availableSizes().value(0), QSize(36, 36));
    EXPECT_EQ(images.pathForResource("Other", "png"), std::nullopt);
    EXPECT_EQ(images.imageWithContentsOfFile("/proc/self/exe"), std::nullopt); // not a picture
    EXPECT_FALSE(QtImages::icon(images.systemSymbol("internaldrive", "Kavelin").value()).isNull());
}

// "x-kavelin-test" has one handler, which main registers before GIO reads desktop files.
TEST(GioWorkspace, TrueOnlyWhenAHandlerWasLaunched) {
    GioWorkspace workspace;
    EXPECT_TRUE(workspace.openURL("x-kavelin-test:bonjour"));
    EXPECT_FALSE(
        workspace.openURL("x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension"));
    EXPECT_FALSE(workspace.openURL("file:///System/Library/PreferencePanes/StartupDisk.prefPane"));
}

// With the trace on, a URL that nothing opens says why; one that opens says nothing.
TEST(GioWorkspace, TracesAUrlThatNoHandlerOpens) {
    setenv("KAVELIN_TRACE", "1", 1);
    if (!traceEnabled())
        GTEST_SKIP() << "the trace setting was read before this test started (run it alone)";
    GioWorkspace workspace;
    testing::internal::CaptureStderr();
    workspace.openURL("x-kavelin-test:bonjour");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    workspace.openURL("x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension");
    const std::string traced = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(traced.starts_with("kavelin: url: x-apple.systempreferences:com.apple.Startup-Disk-"
                                   "Settings.extension : "))
        << traced;
    EXPECT_EQ(std::count(traced.begin(), traced.end(), '\n'), 1) << traced;
}

} // namespace
} // namespace kavelin::platform

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path handlerHome =
        fs::temp_directory_path() / ("kavelin-gio-" + std::to_string(getpid()));
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    fs::create_directories(handlerHome / "applications");
    std::ofstream(handlerHome / "applications" / "kavelin-test-handler.desktop")
        << "[Desktop Entry]\nType=Application\nName=Test\nExec=/bin/true %u\n"
           "MimeType=x-scheme-handler/x-kavelin-test;\n";
    std::ofstream(handlerHome / "applications" / "mimeapps.list")
        << "[Default Applications]\nx-scheme-handler/x-kavelin-test=kavelin-test-handler.desktop\n";
    setenv("XDG_DATA_HOME", handlerHome.c_str(), 1);
    setenv("XDG_CONFIG_HOME", handlerHome.c_str(), 1);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    int status = RUN_ALL_TESTS();
    fs::remove_all(handlerHome);
    return status;
}
