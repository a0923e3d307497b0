#pragma once

// Every text of the application that the user reads, in one place: the status menu, the volume
// titles of the menu and the listing, the alerts, and the Linux desktop's own lines and entries.
// A leaf: the core and the backends read it, it reads nothing of theirs. French typography
// throughout: the apostrophe ’, the ellipsis …, « and » framed by no-break spaces (written
// \u00A0, since they cannot be told from a space on screen). Texts that embed a name are built by
// functions, which insert the name verbatim.

#include <string>

namespace kavelin::texts {

// The status item and its menu.
inline constexpr const char* applicationName = "Kavelin";
inline constexpr const char* busy = "Autorisation en cours…";
inline constexpr const char* menuHeader = "Disques de démarrage";
inline constexpr const char* noVolume = "Aucun volume macOS détecté";
inline constexpr const char* openStartupDiskItem = "Ouvrir Disque de démarrage…";
inline constexpr const char* options = "Options";
inline constexpr const char* launchAtLogin = "Boot au démarrage du système";
inline constexpr const char* approvalRequiredTip = "Autorisation requise dans Réglages Système.";
inline constexpr const char* quit = "Quitter Kavelin";

// A volume's title, in the menu and in the listing: the name, two spaces, an em dash, two
// spaces, "macOS", one space, the version, then the suffix for the running system.
inline constexpr const char* volumeTitleSeparator = "  —  macOS ";
inline constexpr const char* runningSystemSuffix = " (en cours)";

// The choice of when to start on a volume.
inline constexpr const char* choiceDetail =
    "Choisis quand utiliser ce disque. « Redémarrer maintenant » en fait le disque par défaut. "
    "« Au prochain redémarrage » l’utilise une seule fois.";
inline constexpr const char* restartNowButton = "Redémarrer maintenant…";
inline constexpr const char* nextStartButton = "Au prochain redémarrage";
inline constexpr const char* cancelButton = "Annuler";

// What follows the choice.
inline constexpr const char* volumeChanged = "Le volume a changé ou a été déconnecté.";
inline constexpr const char* volumeChangedDetail = "Rouvre le menu pour actualiser la liste.";
inline constexpr const char* refused = "macOS a refusé le changement de disque.";
inline constexpr const char* refusedNextStartDetail =
    "Pour un démarrage unique, choisis ce disque dans les options de démarrage du Mac. "
    "Disque de démarrage permet de changer le disque par défaut.";
inline constexpr const char* nextStartDetail =
    "Le Mac utilisera ce disque une fois lors du prochain démarrage. "
    "Laisse le disque branché s’il est externe.";
inline constexpr const char* okButton = "OK";
inline constexpr const char* configured = "Le disque de démarrage a été configuré.";
inline constexpr const char* restartFromMenuDetail =
    "Pour redémarrer, utilise le menu \uF8FF > Redémarrer.";

// The settings: the fallback alert of a change that could not be completed, and launch at login.
inline constexpr const char* openStartupDiskButton = "Ouvrir Disque de démarrage";
inline constexpr const char* closeButton = "Fermer";
inline constexpr const char* approvalTitle = "Autoriser l’ouverture à la connexion";
inline constexpr const char* approvalDetail =
    "Autorise Kavelin dans les réglages des éléments d’ouverture.";
inline constexpr const char* loginChangeFailed = "Le réglage d’ouverture n’a pas été modifié.";
inline constexpr const char* openSystemSettingsButton = "Ouvrir Réglages Système";

// A name framed by « and », verbatim otherwise.
inline std::string framed(const std::string& name) {
    return "«\u00A0" + name + "\u00A0»";
}

inline std::string choiceTitle(const std::string& name) {
    return "Démarrer sur " + framed(name);
}

inline std::string nextStartTitle(const std::string& name) {
    return "Prochain démarrage sur " + framed(name);
}

inline std::string refusedRestartDetail(const std::string& name) {
    return "Sélectionne " + framed(name) +
           " dans Disque de démarrage et confirme le redémarrage. "
           "macOS peut demander l’autorisation d’un propriétaire du Mac.";
}

// The Linux desktop's own texts: the lines written when the menu bar cannot show, the autostart
// entry and its failures, and the words that stand for the Mac's logo where no font draws it.
inline constexpr const char* noGraphicalSession =
    "kavelin\u00A0: aucune session graphique (ni DISPLAY ni WAYLAND_DISPLAY)\u00A0; "
    "l’icône de la barre des menus ne peut pas s’afficher.\n";
inline constexpr const char* displayUnreachable =
    "kavelin\u00A0: impossible d’ouvrir la session graphique (affichage injoignable ou greffon Qt "
    "manquant)\u00A0; l’icône de la barre des menus ne peut pas s’afficher.\n";
inline std::string menuModuleMissing(const std::string& module) {
    return "kavelin\u00A0: la partie barre des menus n’est pas dans cette version (module " +
           module + " introuvable)\u00A0; seule l’option --list-volumes est disponible.\n";
}
inline std::string menuModuleUnloadable(const std::string& module, const std::string& reason) {
    return "kavelin\u00A0: le module de la barre des menus (" + module +
           ") ne se charge pas\u00A0: " + reason + "\n";
}
inline constexpr const char* autostartComment =
    "Choisir le disque de démarrage depuis la barre des menus";
inline constexpr const char* cannotCreateFolder = "Impossible de créer le dossier";
inline constexpr const char* cannotWrite = "Impossible d’écrire";
inline constexpr const char* cannotRemove = "Impossible de supprimer";
inline constexpr const char* programPathUnknown =
    "Impossible de trouver le chemin du programme Kavelin.";
inline std::string folderNotAnswering(const std::string& folder) {
    return "Le dossier " + framed(folder) + " ne répond pas\u00A0: son disque est injoignable.";
}
// Programs that no session would start from an autostart entry.
inline constexpr const char* programPathNotUtf8 =
    "Le chemin du programme Kavelin n’est pas un texte UTF-8 valide\u00A0: aucune session ne "
    "saurait le lancer à la connexion.";
inline constexpr const char* programReplaced =
    "Le programme Kavelin a été remplacé ou supprimé depuis son lancement\u00A0: relance-le "
    "pour l’ouvrir à la connexion.";
inline std::string programPathNotAbsolute(const std::string& path) {
    return "Le chemin du programme Kavelin " + framed(path) + " n’est pas absolu.";
}
inline std::string programPathUnlaunchable(const std::string& path) {
    return "Le chemin du programme Kavelin " + framed(path) +
           " contient un caractère avec lequel les sessions ne le lancent pas (%, $, `, guillemet, "
           "barre oblique inversée ou caractère de contrôle)\u00A0: installe-le dans un autre "
           "dossier.";
}
inline std::string programNotExecutable(const std::string& path) {
    return "Le programme Kavelin " + framed(path) + " n’est pas un fichier exécutable.";
}
// "the  menu" reads "the system's menu"; the logo alone stands for its maker's name.
inline constexpr const char* systemMenuWords = "menu du système";
inline constexpr const char* logoWord = "Apple";

} // namespace kavelin::texts
