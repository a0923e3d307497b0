#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kavelin::platform {

inline constexpr const char* escapeKey = "\x1b";

struct AlertButton {
    std::string title;
    // Absent: the platform's default (the first button answers Return); "": no key at all;
    // escapeKey: the button answers Escape.
    std::optional<std::string> keyEquivalent;

    // The button answers Escape.
    AlertButton& answersEscape() {
        keyEquivalent.emplace(escapeKey);
        return *this;
    }
    // The button answers no key, not even Return: it takes a deliberate click.
    AlertButton& answersNoKey() {
        keyEquivalent.emplace();
        return *this;
    }
};

// A modal alert as the core builds it; buttons in the order added.
struct Alert {
    std::string messageText;
    std::string informativeText;
    std::vector<AlertButton> buttons;

    AlertButton& addButtonWithTitle(std::string title) {
        buttons.push_back({std::move(title), std::nullopt});
        return buttons.back();
    }
};

// Answers of runModal: the first button added answers firstButtonReturn, the next one more.
inline constexpr int firstButtonReturn = 1000;
inline constexpr int secondButtonReturn = 1001;
inline constexpr int thirdButtonReturn = 1002;

class Alerts {
public:
    virtual ~Alerts() = default;
    // Shows the alert modally; firstButtonReturn + index of the chosen button, or another value
    // when the alert ended some other way.
    virtual int runModal(const Alert& alert) = 0;
};

} // namespace kavelin::platform
