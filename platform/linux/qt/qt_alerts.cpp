// Modal alerts over QMessageBox: ActionRole buttons in the order added, answer 1000 + index of
// the clicked button. Return goes to the button that has it (the first, unless it was given no
// key equivalent) and nowhere else; Escape to the button that has it and nowhere else. Not
// supported: other key equivalents, which are ignored.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

#include "qt_services.h"

namespace kavelin::platform {

namespace {

// NOTE: the GNOME and GTK platform themes make a focused push button press itself on Return,
// whatever the dialog's default button. Return and Escape are therefore decided here, before any
// widget of the alert sees them.
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
        else
            return false;
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

} // namespace

int QtAlerts::runModal(const Alert& alert) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Kavelin"));
    box.setIcon(QMessageBox::Warning);
    // Volume names reach these texts: never interpret them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(alert.messageText));
    box.setInformativeText(QString::fromStdString(alert.informativeText));
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
