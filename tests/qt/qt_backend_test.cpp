// The Qt services against real widgets: run under the offscreen platform, and again under Xvfb
// with the GNOME platform theme (where a focused button presses itself on Return).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
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
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll.stop();
        interact(*box);
    });
    poll.start();
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->done(-1);
    });
    guard.start(5000);
    QtAlerts alerts;
    return alerts.runModal(alert);
}

Alert twoButtons(std::optional<std::string> firstKey, std::optional<std::string> secondKey) {
    Alert alert{"Titre", "D\u00e9tail", {}};
    alert.addButtonWithTitle("Premier").keyEquivalent = std::move(firstKey);
    alert.addButtonWithTitle("Fermer").keyEquivalent = std::move(secondKey);
    return alert;
}

QPushButton* buttonTitled(QMessageBox& box, const QString& title) {
    for (auto* button : box.buttons())
        if (button->text() == title)
            return qobject_cast<QPushButton*>(button);
    return nullptr;
}

void press(QWidget* target, Qt::Key key) {
    QTest::keyClick(target ? target : QApplication::activeModalWidget(), key);
}

TEST(QtAlerts, EachButtonAnswersByItsPlaceInOrderOfAdding) {
    Alert alert{"Titre", "D\u00e9tail", {}};
    for (const char* title : {"Un", "Deux", "Trois"})
        alert.addButtonWithTitle(title);
    for (int index = 0; index < 3; ++index) {
        QStringList titles;
        int answer = runAlert(alert, [&](QMessageBox& box) {
            for (auto* button : box.buttons())
                titles << button->text();
            box.buttons().at(index)->click();
        });
        EXPECT_EQ(answer, firstButtonReturn + index);
        EXPECT_EQ(titles, (QStringList{"Un", "Deux", "Trois"}));
    }
}

struct KeyCase {
    const char* story;
    std::optional<std::string> firstKey;
    std::optional<std::string> secondKey;
    Qt::Key key;
    const char* focused; // the button that has the focus when the key comes
    int expected;        // 0: the alert stays up
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.story;
}

class QtAlertKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(QtAlertKeys, GoOnlyToTheButtonThatHasThem) {
    const KeyCase& c = GetParam();
    bool stayedUp = false;
    int answer = runAlert(twoButtons(c.firstKey, c.secondKey), [&](QMessageBox& box) {
        QPushButton* focused = buttonTitled(box, c.focused);
        ASSERT_NE(focused, nullptr);
        focused->setFocus();
        press(focused, c.key);
        stayedUp = box.isVisible();
        if (stayedUp)
            box.done(-1);
    });
    if (c.expected == 0) {
        EXPECT_TRUE(stayedUp);
    } else {
        EXPECT_FALSE(stayedUp);
        EXPECT_EQ(answer, c.expected);
    }
}

const std::string esc = escapeKey;

INSTANTIATE_TEST_SUITE_P(
    Keys, QtAlertKeys,
    testing::Values(
        KeyCase{"Return on the platform default", std::nullopt, esc, Qt::Key_Return, "Premier",
                1000},
        KeyCase{"Return with another button focused", std::nullopt, esc, Qt::Key_Return, "Fermer",
                1000},
        KeyCase{"Enter too", std::nullopt, esc, Qt::Key_Enter, "Fermer", 1000},
        KeyCase{"Escape", std::nullopt, esc, Qt::Key_Escape, "Premier", 1001},
        KeyCase{"no Return on a focused first button without key", "", esc, Qt::Key_Return,
                "Premier", 0},
        KeyCase{"no Return on a focused closing button", "", esc, Qt::Key_Return, "Fermer", 0},
        KeyCase{"no Enter either", "", esc, Qt::Key_Enter, "Premier", 0},
        KeyCase{"Escape still closes", "", esc, Qt::Key_Escape, "Premier", 1001},
        KeyCase{"both without key: Return does nothing", "", "", Qt::Key_Return, "Fermer", 0},
        KeyCase{"no Escape button: Escape does nothing", std::nullopt, std::nullopt, Qt::Key_Escape,
                "Premier", 0}));

TEST(QtAlerts, ShowTextsLiterally) {
    Alert alert{"<b>Data</b> \u00ab\u00a0x\u00a0\u00bb", "<i>d\u00e9tail</i> \uf8ff", {}};
    alert.addButtonWithTitle("Ouvrir & fermer");
    QString text, informative, buttonText;
    Qt::TextFormat textFormat = Qt::AutoText, informativeFormat = Qt::AutoText;
    runAlert(alert, [&](QMessageBox& box) {
        auto* label = box.findChild<QLabel*>("qt_msgbox_label");
        auto* informativeLabel = box.findChild<QLabel*>("qt_msgbox_informativelabel");
        ASSERT_TRUE(label && informativeLabel);
        text = label->text();
        textFormat = label->textFormat();
        informative = informativeLabel->text();
        informativeFormat = informativeLabel->textFormat();
        buttonText = box.buttons().at(0)->text();
        box.buttons().at(0)->click();
    });
    EXPECT_EQ(text.toStdString(), alert.messageText);
    EXPECT_EQ(informative.toStdString(), alert.informativeText);
    EXPECT_EQ(textFormat, Qt::PlainText);
    EXPECT_EQ(informativeFormat, Qt::PlainText);
    EXPECT_EQ(buttonText, "Ouvrir && fermer"); // shown as "Ouvrir & fermer", no mnemonic
}

// What the theme does on its own: under GNOME a focused button answers Return, which is why the
// alerts decide Return themselves.
TEST(QtPlatformTheme, FocusedButtonAndReturn) {
    QDialog dialog;
    auto* button = new QPushButton("x", &dialog);
    button->setAutoDefault(false);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    dialog.show();
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Return);
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    if (desktop && std::string(desktop) == "GNOME")
        EXPECT_EQ(clicks, 1) << "the GNOME theme should press a focused button on Return";
    else
        std::cout << "Return on a focused button: " << clicks << " click(s)\n";
}

// A menu holding every kind of row the core builds.
std::shared_ptr<Menu> sampleMenu(std::vector<const MenuItem*>& chosen) {
    auto record = [&chosen](const MenuItem& sender) { chosen.push_back(&sender); };
    auto menu = std::make_shared<Menu>();
    auto header = std::make_shared<MenuItem>("Disques de d\u00e9marrage", nullptr);
    header->enabled = false;
    menu->addItem(header);
    auto volume = std::make_shared<MenuItem>("Data & Co\tX\n  \u2014  macOS 14.5", record);
    volume->symbolImage = "internaldrive";
    menu->addItem(volume);
    menu->addItem(MenuItem::separatorItem());
    auto options = std::make_shared<Menu>();
    options->title = "Options";
    auto on = std::make_shared<MenuItem>("Activ\u00e9", record);
    on->state = ItemState::on;
    options->addItem(on);
    auto mixed = std::make_shared<MenuItem>("En attente", record);
    mixed->state = ItemState::mixed;
    mixed->toolTip = "Autorisation requise dans R\u00e9glages Syst\u00e8me.";
    options->addItem(mixed);
    auto optionsItem = std::make_shared<MenuItem>("Options", nullptr);
    optionsItem->submenu = options;
    menu->addItem(optionsItem);
    menu->addItem(std::make_shared<MenuItem>("Quitter Kavelin", record));
    return menu;
}

struct Row {
    QString text;
    bool enabled, separator, checkable, checked, hasIcon, hasSubmenu;
    int state;
    QString toolTip;
    bool operator==(const Row&) const = default;
};

std::vector<Row> rows(QMenu& menu) {
    std::vector<Row> result;
    for (QAction* a : menu.actions())
        result.push_back({a->text(), a->isEnabled(), a->isSeparator(), a->isCheckable(),
                          a->isChecked(), !a->icon().isNull(), a->menu() != nullptr,
                          a->property("kavelinState").toInt(),
                          a->toolTip() == a->iconText() ? QString() : a->toolTip()});
    return result;
}

TEST(QtMenuRendering, ShowsEveryRowAsBuilt) {
    std::vector<const MenuItem*> chosen;
    auto menu = sampleMenu(chosen);
    QMenu target;
    renderMenu(*menu, target);

    std::vector<Row> expected{
        {"Disques de démarrage", false, false, false, false, false, false, 0, ""},
        {"Data && Co X   —  macOS 14.5", true, false, false, false, true, false, 0, ""},
        {"", true, true, false, false, false, false, 0, ""},
        {"Options", true, false, false, false, false, true, 0, ""},
        {"Quitter Kavelin", true, false, false, false, false, false, 0, ""},
    };
    EXPECT_EQ(rows(target), expected);
    EXPECT_TRUE(target.toolTipsVisible());

    QMenu* options = target.actions().at(3)->menu();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->title(), "Options");
    EXPECT_TRUE(options->toolTipsVisible());
    std::vector<Row> expectedOptions{
        {"Activé", true, false, true, true, false, false, 1, ""},
        {"En attente", true, false, false, false, true, false, -1,
         "Autorisation requise dans Réglages Système."},
    };
    EXPECT_EQ(rows(*options), expectedOptions);
}

TEST(QtMenuRendering, RenderingAgainReplacesEverything) {
    std::vector<const MenuItem*> chosen;
    auto menu = sampleMenu(chosen);
    QMenu target;
    renderMenu(*menu, target);
    renderMenu(*menu, target);
    EXPECT_EQ(target.actions().size(), 5);
    EXPECT_EQ(target.findChildren<QMenu*>().size(), 1) << "the old submenu is gone";
}

TEST(QtMenuRendering, ChosenItemsReachTheirHandlerAfterTheMenuCloses) {
    std::vector<const MenuItem*> chosen;
    auto menu = sampleMenu(chosen);
    QMenu target;
    renderMenu(*menu, target);
    const MenuItem* quit = menu->items.back().get();

    target.actions().at(4)->trigger();
    EXPECT_TRUE(chosen.empty()) << "runs from the event loop, not inside the click";
    menu->removeAllItems(); // a rebuild meanwhile must not free the chosen item
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, std::vector<const MenuItem*>{quit});

    target.actions().at(3)->menu()->actions().at(1)->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[1]->title, "En attente");

    target.actions().at(0)->trigger(); // disabled: nothing
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen.size(), 2u);
}

class CountingDelegate : public MenuDelegate {
public:
    void menuNeedsUpdate(Menu& menu) override {
        menu.removeAllItems();
        menu.addItem(
            std::make_shared<MenuItem>("Ouverture " + std::to_string(++openings), nullptr));
    }
    int openings = 0;
};

TEST(QtStatusItem, RebuildsTheMenuThroughTheDelegateBeforeEachShowing) {
    QtStatusBar bar;
    auto item = bar.statusItemWithLength(squareStatusItemLength);
    auto& qtItem = static_cast<QtStatusItem&>(*item);
    CountingDelegate delegate;
    item->setMenu(std::make_shared<Menu>(), &delegate);
    QMenu* shown = qtItem.renderedMenu();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(qtItem.trayIcon().contextMenu(), shown);
    EXPECT_TRUE(shown->actions().isEmpty());

    for (int opening = 1; opening <= 2; ++opening) {
        shown->popup(QPoint(10, 10));
        ASSERT_EQ(shown->actions().size(), 1);
        EXPECT_EQ(shown->actions().at(0)->text(), QString("Ouverture %1").arg(opening));
        shown->hide();
    }
}

TEST(QtStatusItem, HasNoButtonWithoutATrayHost) {
    // Neither the offscreen platform nor a bare Xvfb has a tray host; a desktop session might.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "a tray host is running on this display";
    QtStatusBar bar;
    auto item = bar.statusItemWithLength(squareStatusItemLength);
    EXPECT_EQ(item->button(), nullptr);
}

class QtImagesTest : public testing::Test {
protected:
    fs::path folder = fs::temp_directory_path() / ("kavelin-images-" + std::to_string(getpid()));
    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override { fs::remove_all(folder); }
    // The copy that the build puts beside the program, and so beside this test.
    fs::path sourceIcon() {
        return fs::read_symlink("/proc/self/exe").parent_path() / "share" / "kavelin" /
               "MenuIcon.png";
    }
};

TEST_F(QtImagesTest, FindsAndLoadsResourcesInTheirFolders) {
    fs::copy_file(sourceIcon(), folder / "MenuIcon.png");
    std::ofstream(folder / "Broken.png") << "not a picture";
    QtImages images({folder / "missing", folder});

    auto path = images.pathForResource("MenuIcon", "png");
    ASSERT_EQ(path, (folder / "MenuIcon.png").string());
    auto image = images.imageWithContentsOfFile(*path);
    ASSERT_TRUE(image);
    EXPECT_FALSE(QtImages::icon(*image).isNull());
    EXPECT_EQ(QtImages::icon(*image).availableSizes().value(0), QSize(18, 18));

    EXPECT_EQ(images.pathForResource("Other", "png"), std::nullopt);
    EXPECT_EQ(images.imageWithContentsOfFile((folder / "Broken.png").string()), std::nullopt);
    EXPECT_EQ(images.imageWithContentsOfFile((folder / "none.png").string()), std::nullopt);
}

TEST_F(QtImagesTest, TheProgramTreeHoldsTheIcon) {
    // The tests sit beside the program in the build folder, so they see its share/kavelin.
    QtImages images;
    auto path = images.pathForResource("MenuIcon", "png");
    ASSERT_TRUE(path) << "share/kavelin/MenuIcon.png is copied into the build folder";
    EXPECT_TRUE(images.imageWithContentsOfFile(*path));
}

TEST_F(QtImagesTest, DriveSymbolAlwaysHasAPictureOthersNone) {
    QtImages images(std::vector<fs::path>{});
    auto drive = images.systemSymbol("internaldrive", std::string("Kavelin"));
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->accessibilityDescription, "Kavelin");
    EXPECT_FALSE(QtImages::icon(*drive).isNull());
    EXPECT_EQ(images.systemSymbol("externaldrive.badge.xmark", std::nullopt), std::nullopt);
}

// The test's own handler of the scheme "x-kavelin-test", registered in main before GIO reads
// the desktop files.
fs::path handlerHome() {
    return fs::temp_directory_path() / ("kavelin-gio-" + std::to_string(getpid()));
}

void registerTestHandler() {
    fs::path applications = handlerHome() / "applications";
    fs::create_directories(applications);
    std::ofstream(applications / "kavelin-test-handler.desktop")
        << "[Desktop Entry]\nType=Application\nName=Test\nExec=/bin/true %u\n"
           "MimeType=x-scheme-handler/x-kavelin-test;\n";
    std::ofstream(applications / "mimeapps.list")
        << "[Default Applications]\nx-scheme-handler/x-kavelin-test=kavelin-test-handler.desktop\n";
    setenv("XDG_DATA_HOME", handlerHome().c_str(), 1);
    setenv("XDG_CONFIG_HOME", handlerHome().c_str(), 1);
}

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
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    kavelin::platform::registerTestHandler();
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    int status = RUN_ALL_TESTS();
    std::filesystem::remove_all(kavelin::platform::handlerHome());
    return status;
}
