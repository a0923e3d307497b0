// The Qt services against real widgets, offscreen and under Xvfb with the GNOME platform theme;
// the tray icon, its menus and the keys of the alerts in real sessions (select_volume_e2e.sh).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
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

// A picture the build rendered into share/kavelin beside the test program, in the format Qt
// draws icons in.
QImage render(const char* name) {
    const auto picture = QtImages().pathForResource("MenuIcon", "png");
    EXPECT_TRUE(picture) << "share/kavelin/MenuIcon.png is missing from the build folder";
    const QImage image(
        QFileInfo(QString::fromStdString(picture.value_or(""))).dir().filePath(name));
    EXPECT_FALSE(image.isNull()) << name << " is missing from the build folder";
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

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
        // Kavelin's picture, from its render at the alert icon's size.
        EXPECT_EQ(box.iconPixmap().toImage(), render("MenuIcon-64.png"));
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

// The status icon, the menu rows' drive and the alerts draw each size from the render of that many
// device pixels, so that nothing is scaled at 22 px (a tray), 64 px (an alert) or at scale 2.
TEST(QtImages, DrawEachSizeFromItsOwnRender) {
    QtImages images; // the build renders share/kavelin beside the program, and so this test
    auto image = images.imageWithContentsOfFile(images.pathForResource("MenuIcon", "png").value());
    ASSERT_TRUE(image);
    const QIcon statusIcon = images.icon(*image), drive = images.symbolIcon("internaldrive");
    for (auto [side, ratio, file] : {std::tuple{16, 1.0, "MenuIcon-16.png"},
                                     {22, 1.0, "MenuIcon-22.png"},
                                     {18, 2.0, "MenuIcon.png"},
                                     {22, 2.0, "MenuIcon-44.png"},
                                     {64, 1.0, "MenuIcon-64.png"},
                                     {64, 2.0, "MenuIcon-128.png"}}) {
        for (const QIcon& icon : {statusIcon, drive, images.programIcon()}) {
            const QPixmap drawn = icon.pixmap(QSize(side, side), ratio);
            EXPECT_EQ(drawn.devicePixelRatio(), ratio);
            EXPECT_EQ(drawn.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                      render(file))
                << side << " px at scale " << ratio;
        }
    }
    EXPECT_EQ(images.pathForResource("Other", "png"), std::nullopt);
    EXPECT_EQ(images.imageWithContentsOfFile("/proc/self/exe"), std::nullopt); // not a picture
    EXPECT_TRUE(images.symbolIcon("externaldrive").isNull());
    // Without the pictures, the drive is the theme's or the style's.
    EXPECT_FALSE(QtImages({"/nonexistent"}).symbolIcon("internaldrive").isNull());
}

// The tray picture fills most of its 22 pixels, and its edge stands out on a black bar (a light
// halo) as on a white one (a dark outline inside it).
TEST(QtImages, TrayPictureFillsItsSquareAndShowsOnBlackAndWhiteBars) {
    const QImage picture = render("MenuIcon-22.png");
    QRect covered;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qAlpha(picture.pixel(x, y)) > 128)
                covered |= QRect(x, y, 1, 1);
    EXPECT_GE(covered.width(), 20);
    EXPECT_GE(covered.height(), 16);
    auto onBar = [&](QColor bar) {
        QImage shown(picture.size(), QImage::Format_ARGB32_Premultiplied);
        shown.fill(bar);
        QPainter(&shown).drawImage(0, 0, picture);
        return shown;
    };
    const QImage black = onBar(Qt::black), white = onBar(Qt::white);
    // Along the middle row and column, from each edge inwards: the first pixel that differs from
    // the bar is light on black, and a dark one follows before the body on white.
    const int middle = picture.width() / 2;
    const std::vector<std::vector<QPoint>> edges = {
        {{0, 12}, {1, 12}, {2, 12}, {3, 12}},
        {{21, 12}, {20, 12}, {19, 12}, {18, 12}},
        {{middle, 0}, {middle, 1}, {middle, 2}, {middle, 3}, {middle, 4}},
        {{middle, 21}, {middle, 20}, {middle, 19}, {middle, 18}}};
    for (const auto& edge : edges) {
        auto first = std::find_if(edge.begin(), edge.end(),
                                  [&](QPoint p) { return qGray(black.pixel(p)) > 40; });
        ASSERT_NE(first, edge.end())
            << "nothing at the edge of " << edge[0].x() << "," << edge[0].y();
        EXPECT_GT(qGray(black.pixel(*first)), 140) << first->x() << "," << first->y();
        EXPECT_TRUE(std::any_of(edge.begin(), edge.end(),
                                [&](QPoint p) { return qGray(white.pixel(p)) < 90; }))
            << "no dark outline from " << edge[0].x() << "," << edge[0].y();
    }
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
