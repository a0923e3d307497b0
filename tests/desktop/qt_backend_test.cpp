// The Qt services against real widgets: run under the offscreen platform, and again under Xvfb
// with the GNOME platform theme (where a focused button presses itself on Return).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

#include "gio_workspace.h"
#include "qt_services.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;

// Runs the alert; once it shows, interact(box) acts on it from the event loop. An alert still up
// after five seconds is closed without a button, so a broken case fails instead of hanging.
int runAlert(const Alert& alert, const std::function<void(QMessageBox&)>& interact) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            poll.stop();
            interact(*box);
        }
    });
    poll.start(5);
    QTimer::singleShot(5000, &poll, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->done(-1);
    });
    return QtAlerts().runModal(alert);
}

TEST(QtAlerts, ButtonsAnswerByPlaceAndKeysGoOnlyToTheButtonThatHasThem) {
    const std::optional<std::string> platformKey, none = "", esc = escapeKey;
    const struct {
        const char* story;
        std::optional<std::string> firstKey, lastKey; // of "Un" and "Fermer"; "Deux" has none
        Qt::Key key;                                  // Qt::Key_unknown: a click
        int on;       // the button clicked, or focused when the key comes
        int expected; // 0: the alert stays up
    } cases[] = {
        {"click Un", platformKey, esc, Qt::Key_unknown, 0, 1000},
        {"click Deux", platformKey, esc, Qt::Key_unknown, 1, 1001},
        {"click Fermer", platformKey, esc, Qt::Key_unknown, 2, 1002},
        {"Return with the closing button focused", platformKey, esc, Qt::Key_Return, 2, 1000},
        {"Enter too", platformKey, esc, Qt::Key_Enter, 2, 1000},
        {"Escape", platformKey, esc, Qt::Key_Escape, 0, 1002},
        {"no Return on a focused first button without key", none, esc, Qt::Key_Return, 0, 0},
        {"no Escape button: Escape does nothing", platformKey, platformKey, Qt::Key_Escape, 0, 0},
        {"Space presses no focused button", none, esc, Qt::Key_Space, 0, 0},
        {"not even the closing one", none, esc, Qt::Key_Space, 2, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.story);
        Alert alert{"Titre", "D\u00e9tail", {}};
        alert.addButtonWithTitle("Un").keyEquivalent = c.firstKey;
        alert.addButtonWithTitle("Deux");
        alert.addButtonWithTitle("Fermer").keyEquivalent = c.lastKey;
        QStringList titles;
        bool stayedUp = false;
        int answer = runAlert(alert, [&](QMessageBox& box) {
            for (auto* button : box.buttons()) {
                titles << button->text();
                EXPECT_FALSE(button->hasFocus()) << "a key could press it";
            }
            QAbstractButton* target = box.buttons().at(c.on);
            target->setFocus();
            if (c.key == Qt::Key_unknown)
                target->click();
            else
                QTest::keyClick(target, c.key);
            if ((stayedUp = box.isVisible()))
                box.done(-1);
        });
        EXPECT_EQ(titles, (QStringList{"Un", "Deux", "Fermer"}));
        EXPECT_EQ(stayedUp, c.expected == 0);
        EXPECT_EQ(answer, c.expected);
    }
}

TEST(QtAlerts, ShowTextsLiterallyWithKavelinsIcon) {
    Alert alert{"<b>Data</b> \u00ab\u00a0\uf8ff x\u00a0\u00bb",
                "<i>d\u00e9tail</i> utilise le menu \uf8ff > Red\u00e9marrer.",
                {}};
    alert.addButtonWithTitle("Ouvrir & fermer");
    int answer = runAlert(alert, [&](QMessageBox& box) {
        const struct {
            const char* name;
            std::string text;
            bool bold;
        } labels[] = {{"qt_msgbox_label", "<b>Data</b> \u00ab\u00a0Apple x\u00a0\u00bb", true},
                      {"qt_msgbox_informativelabel",
                       "<i>d\u00e9tail</i> utilise le menu du syst\u00e8me > Red\u00e9marrer.",
                       false}};
        for (const auto& expected : labels) {
            auto* label = box.findChild<QLabel*>(expected.name);
            ASSERT_TRUE(label) << expected.name;
            ASSERT_FALSE(QFontMetrics(label->font()).inFontUcs4(0xf8ff))
                << "this font draws U+F8FF: no words needed";
            EXPECT_EQ(label->text().toStdString(), expected.text);
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            EXPECT_EQ(label->font().bold(), expected.bold) << expected.name;
        }
        // Kavelin's icon, enlarged without blurring.
        const auto path = QtImages().pathForResource("MenuIcon", "png");
        ASSERT_TRUE(path);
        const QImage menuIcon = QPixmap(QString::fromStdString(*path)).toImage();
        const QImage shown = box.iconPixmap().toImage();
        EXPECT_GE(shown.width(), 64); // a dialog icon, not a menu-bar one
        EXPECT_EQ(shown.scaled(menuIcon.size()), menuIcon);
        EXPECT_EQ(box.buttons().at(0)->text(), "Ouvrir && fermer"); // no mnemonic
        box.buttons().at(0)->click();
    });
    EXPECT_EQ(answer, firstButtonReturn);
}

// What a rendered menu shows, one line per action.
QString describe(QAction* a) {
    if (a->isSeparator())
        return "---";
    QString line = a->text() + (a->isEnabled() ? "" : " [disabled]");
    if (a->isCheckable())
        line += a->isChecked() ? " [checked]" : " [unchecked]";
    if (int state = a->property("kavelinState").toInt())
        line += QString(" [state %1]").arg(state);
    line += a->icon().isNull() ? "" : " [icon]";
    line += a->toolTip() == a->iconText() ? "" : " [tip " + a->toolTip() + "]";
    if (QMenu* sub = a->menu()) {
        line += " [" + sub->title() + (sub->toolTipsVisible() ? " with tips:" : ":");
        for (QAction* subAction : sub->actions())
            line += " " + describe(subAction);
        line += "]";
    }
    return line;
}

std::shared_ptr<MenuItem> add(Menu& menu, const std::string& title, MenuAction action) {
    auto item = std::make_shared<MenuItem>(title, std::move(action));
    menu.addItem(item);
    return item;
}

TEST(QtMenuRendering, ShowsEveryRowOnceAndChosenItemsReachTheirHandlerAfterTheMenuCloses) {
    std::vector<const MenuItem*> chosen;
    auto record = [&chosen](const MenuItem& sender) { chosen.push_back(&sender); };
    auto menu = std::make_shared<Menu>(), options = std::make_shared<Menu>();
    add(*menu, "Disques de d\u00e9marrage", nullptr)->enabled = false;
    add(*menu, "Data & Co\tX\n\u202E\u2069\u2029\x1b  \u2014  macOS 14.5", record)->symbolImage =
        "internaldrive";
    menu->addItem(MenuItem::separatorItem());
    options->title = "Options";
    add(*options, "Activ\u00e9", record)->state = ItemState::on;
    auto mixed = add(*options, "En attente", record);
    mixed->state = ItemState::mixed;
    mixed->toolTip = "Autorisation requise dans R\u00e9glages Syst\u00e8me.";
    add(*menu, "Options", nullptr)->submenu = options;
    add(*menu, "Quitter Kavelin", record);
    QMenu target;
    renderMenu(*menu, target);
    renderMenu(*menu, target); // as a second opening would

    QStringList shown;
    for (QAction* action : target.actions())
        shown << describe(action);
    EXPECT_EQ(shown,
              (QStringList{"Disques de d\u00e9marrage [disabled]",
                           "Data && Co X <U+202E><U+2069><U+2029>\u241B  \u2014  macOS 14.5 [icon]",
                           "---",
                           "Options [Options with tips: Activ\u00e9 [checked] [state 1] "
                           "En attente [state -1] [icon] [tip Autorisation requise dans "
                           "R\u00e9glages Syst\u00e8me.]]",
                           "Quitter Kavelin"}));
    EXPECT_TRUE(target.toolTipsVisible());
    EXPECT_EQ(target.findChildren<QMenu*>().size(), 1) << "the first rendering's submenu is gone";

    const MenuItem* quit = menu->items.back().get();
    target.actions().at(4)->trigger();
    EXPECT_TRUE(chosen.empty()) << "runs from the event loop, not inside the click";
    menu->removeAllItems(); // a rebuild meanwhile must not free the chosen item
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, std::vector<const MenuItem*>{quit});
    target.actions().at(3)->menu()->actions().at(1)->trigger();
    target.actions().at(0)->trigger(); // disabled: nothing
    QCoreApplication::processEvents();
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[1]->title, "En attente");
}

class CountingDelegate : public MenuDelegate {
public:
    void menuNeedsUpdate(Menu& menu) override {
        menu.removeAllItems();
        add(menu, "Ouverture " + std::to_string(++openings), nullptr);
    }
    int openings = 0;
};

TEST(QtStatusItem, RebuildsTheMenuThroughTheDelegateBeforeEachShowing) {
    auto item = QtStatusBar().statusItemWithLength(squareStatusItemLength);
    auto& qtItem = static_cast<QtStatusItem&>(*item);
    CountingDelegate delegate;
    item->setMenu(std::make_shared<Menu>(), &delegate);
    QMenu* shown = qtItem.renderedMenu();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->actions().isEmpty());
    for (int opening = 1; opening <= 2; ++opening) {
        shown->popup(QPoint(10, 10));
        ASSERT_EQ(shown->actions().size(), 1);
        EXPECT_EQ(shown->actions().at(0)->text(), QString("Ouverture %1").arg(opening));
        shown->hide();
    }
}

TEST(QtStatusItem, KeepsIconAndToolTipForAHostThatShowsLater) {
    // Neither the offscreen platform nor a bare Xvfb has a tray host; docking is checked in a
    // session with one (program_test.sh).
    auto item = QtStatusBar().statusItemWithLength(squareStatusItemLength);
    auto& qtItem = static_cast<QtStatusItem&>(*item);
    if (qtItem.trayIcon())
        GTEST_SKIP() << "a tray host is running on this display";
    ASSERT_NE(item->button(), nullptr) << "the icon must be kept for a host that starts later";
    auto image = QtImages().systemSymbol("internaldrive", std::string("Kavelin"));
    item->button()->setImage(image ? &*image : nullptr);
    item->button()->setToolTip("Kavelin");
    EXPECT_EQ(qtItem.trayIcon(), nullptr);
}

TEST(QtStatusMenu, OpensAgainstTheIconAwayFromTheBarAndStaysOnScreen) {
    const QRect screen(0, 0, 800, 600), whole = screen;
    const QSize menu(200, 150);
    const struct {
        const char* story;
        QRect icon, workArea;
        QPoint expected;
    } cases[] = {
        {"top bar, right end: below the icon, pulled in from the right edge", QRect(776, 1, 22, 22),
         whole, QPoint(600, 23)},
        {"top bar, left end: below the icon, from its left edge", QRect(40, 1, 22, 22), whole,
         QPoint(40, 23)},
        {"bottom bar: above the icon", QRect(300, 578, 22, 22), whole, QPoint(300, 428)},
        {"left bar: beside the icon", QRect(1, 300, 22, 22), whole, QPoint(23, 300)},
        {"right bar, low down: beside the icon, lifted onto the screen", QRect(778, 560, 22, 22),
         whole, QPoint(578, 450)},
        {"pointer in a top bar of unknown icon: below the work area's top", QRect(770, 12, 1, 1),
         QRect(0, 30, 800, 570), QPoint(600, 30)},
        {"pointer in a bottom bar of unknown icon: above the work area's bottom",
         QRect(100, 590, 1, 1), QRect(0, 0, 800, 570), QPoint(100, 420)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.story);
        QPoint at = statusMenuPosition(c.icon, menu, screen, c.workArea);
        EXPECT_EQ(at, c.expected);
        EXPECT_FALSE(QRect(at, menu).intersects(c.icon)) << "the menu covers the icon";
    }
}

TEST(QtImages, FindTheProgramIconElseTheDriveSymbol) {
    QtImages images; // the build copies share/kavelin beside the program, and so this test
    auto path = images.pathForResource("MenuIcon", "png");
    ASSERT_TRUE(path) << "share/kavelin/MenuIcon.png is missing from the build folder";
    EXPECT_EQ(QtImages({"/nonexistent", fs::path(*path).parent_path()})
                  .pathForResource("MenuIcon", "png"),
              path);
    auto image = images.imageWithContentsOfFile(*path);
    ASSERT_TRUE(image);
    // 18 x 18 points at two pixels a point, sharp on high-density bars.
    EXPECT_EQ(QtImages::icon(*image).availableSizes().value(0), QSize(36, 36));
    EXPECT_EQ(images.pathForResource("Other", "png"), std::nullopt);
    EXPECT_EQ(images.imageWithContentsOfFile("/proc/self/exe"), std::nullopt); // not a picture
    EXPECT_EQ(images.imageWithContentsOfFile("/nonexistent.png"), std::nullopt);

    auto drive = images.systemSymbol("internaldrive", std::string("Kavelin"));
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->accessibilityDescription, "Kavelin");
    EXPECT_FALSE(QtImages::icon(*drive).isNull());
    EXPECT_EQ(images.systemSymbol("externaldrive.badge.xmark", std::nullopt), std::nullopt);
}

// Holds the only handler of "x-kavelin-test", registered in main before GIO reads desktop files.
const fs::path handlerHome =
    fs::temp_directory_path() / ("kavelin-gio-" + std::to_string(getpid()));

TEST(GioWorkspace, TrueOnlyWhenAHandlerWasLaunched) {
    GioWorkspace workspace;
    EXPECT_TRUE(workspace.openURL("x-kavelin-test:bonjour"));
    EXPECT_FALSE(
        workspace.openURL("x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension"));
    EXPECT_FALSE(workspace.openURL("file:///System/Library/PreferencePanes/StartupDisk.prefPane"));
}

} // namespace
} // namespace kavelin::platform

int main(int argc, char** argv) {
    using kavelin::platform::handlerHome;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::filesystem::create_directories(handlerHome / "applications");
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
    std::filesystem::remove_all(handlerHome);
    return status;
}
