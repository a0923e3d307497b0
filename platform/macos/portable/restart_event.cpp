#include "platform/macos/portable/restart_event.h"

namespace kavelin::platform {

ConsentOutcome afterAutomationConsent(int status) {
    switch (status) {
    case automationPermitted:
        return {true, std::nullopt};
    case automationNotPermitted:
        return {false, "autorisation refusée : Réglages Système > Confidentialité et sécurité > "
                       "Automatisation > Kavelin > loginwindow"};
    case automationTargetMissing:
        return {false, "la fenêtre de connexion (com.apple.loginwindow) ne tourne pas"};
    default:
        return {true,
                "autorisation indéterminée (" + std::to_string(status) + "), envoi quand même"};
    }
}

} // namespace kavelin::platform
