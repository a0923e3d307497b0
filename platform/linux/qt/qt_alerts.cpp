// Modal alerts over QMessageBox with Kavelin's icon: ActionRole buttons in the order added, answer
// 1000 + index of the clicked button. As on the native alert, buttons are not in the keyboard
// focus chain: Return goes to the button that has it (the first, unless it was given no key
// equivalent), Escape to the button that has it, and no other key presses a button. The alert
// blocks no other window, so the status item's menu still opens while it is up. Not supported:
// other key equivalents, which are ignored; U+F8FF drawn as a logo where the font lacks it.
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

#include "qt_services.h"
#include "texts/texts.h"

namespace kavelin::platform {

namespace {

// NOTE: the GNOME and GTK platform themes make a focused push button press itself on Return,
// whatever the dialog's default button. Return, Escape and Space are therefore decided here,
// before any widget of the alert sees them.
class AlertKeys final : public QObject {
public:
    AlertKeys(QMessageBox& box, QPushButton* returnButton, QPushButton* escapeButton)
        : box(box), returnButton(returnButton), escapeButton(escapeButton) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != &box)
            return false;
        int key = static_cast<QKeyEvent*>(event)->key();
        QPushButton* target = nullptr;
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            target = returnButton;
        else if (key == Qt::Key_Escape)
            target = escapeButton;
        else if (key != Qt::Key_Space && key != Qt::Key_Select)
            return false; // a button that got focus some other way is not pressed by a key either
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept(); // keep the key from any shortcut; it comes back as a key press
            return true;
        }
        if (target)
            target->click();
        return true;
    }

private:
    QMessageBox& box;
    QPushButton* returnButton;
    QPushButton* escapeButton;
};

constexpr int alertIconSide = 64;
constexpr char32_t logo = 0xF8FF;

// NOTE: U+F8FF is a logo only in the Mac's own fonts; elsewhere it is a private-use code point
// that most fonts draw as a box. The menu it names is the system's menu here, and anywhere else
// the logo stands for its maker's name.
QString alertText(const std::string& text, const QFont& font) {
    QString shown = QString::fromStdString(text);
    const QString symbol = QString::fromUcs4(&logo, 1);
    if (!shown.contains(symbol) || QFontMetrics(font).inFontUcs4(logo))
        return shown;
    shown.replace(QStringLiteral("menu ") + symbol, QString::fromUtf8(texts::systemMenuWords));
    return shown.replace(symbol, QString::fromUtf8(texts::logoWord));
}

} // namespace

QtAlerts::QtAlerts() : icon(QtImages().programIcon()) {}

int QtAlerts::runModal(const Alert& alert) {
    QMessageBox box;
    box.setWindowTitle(QString::fromUtf8(texts::applicationName));
    box.setWindowIcon(icon);
    // From the render of that many device pixels, so that it is sharp at any scale.
    box.setIconPixmap(icon.pixmap(QSize(alertIconSide, alertIconSide), box.devicePixelRatioF()));
    // NOTE: an application-modal alert would block the tray icon's window as well; without a
    // parent, a window-modal one blocks no other window and exec() still waits for the answer.
    box.setWindowModality(Qt::WindowModal);
    // Volume names reach these texts: never interpret them as markup.
    box.setTextFormat(Qt::PlainText);
    auto* message = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QFont bold = message ? message->font() : box.font();
    bold.setBold(true);
    if (message)
        message->setFont(bold);
    box.setText(alertText(alert.messageText, bold));
    box.setInformativeText(alertText(alert.informativeText, box.font()));
    // NOTE: the text format does not reach the informative label, which guesses on its own.
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);

    std::vector<QPushButton*> buttons;
    QPushButton* returnButton = nullptr;
    QPushButton* escapeButton = nullptr;
    for (const auto& wanted : alert.buttons) {
        QPushButton* button = box.addButton(literalText(wanted.title), QMessageBox::ActionRole);
        button->setAutoDefault(false);
        button->setDefault(false);
        // Out of the focus chain, a button can never be pressed by Space.
        button->setFocusPolicy(Qt::NoFocus);
        if (!wanted.keyEquivalent && buttons.empty())
            returnButton = button;
        else if (wanted.keyEquivalent == "\r" && !returnButton)
            returnButton = button;
        else if (wanted.keyEquivalent == escapeKey && !escapeButton)
            escapeButton = button;
        buttons.push_back(button);
    }
    // Without one, no button is the default: none is auto-default either, so none takes Return.
    if (returnButton)
        box.setDefaultButton(returnButton);
    if (escapeButton)
        box.setEscapeButton(escapeButton);

    AlertKeys keys(box, returnButton, escapeButton);
    qApp->installEventFilter(&keys);
    box.show();
    // Showing gives the default button the focus; the alert itself takes the keys instead.
    box.setFocus();
    box.raise();
    box.activateWindow();
    box.exec();
    qApp->removeEventFilter(&keys);

    for (size_t index = 0; index < buttons.size(); ++index)
        if (box.clickedButton() == buttons[index])
            return firstButtonReturn + static_cast<int>(index);
    return 0;
}

} // namespace kavelin::platform
