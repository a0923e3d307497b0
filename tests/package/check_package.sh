#!/usr/bin/env bash
# The Debian package as Debian's tools and a user see it. One check per call:
#   check_package.sh build BUILD_DIR PACKAGE_DIR   CPack builds the .deb into PACKAGE_DIR
#   check_package.sh lintian PACKAGE_DIR           no error and no warning
#   check_package.sh contents PACKAGE_DIR          desktop entry, metainfo, polkit action, icons
#   check_package.sh install PACKAGE_DIR SOURCE_DIR
#       dpkg -i into a scratch root with a database of its own; the installed program lists a
#       fake Mac's volumes and finds its Qt module; dpkg -r leaves nothing behind
# Exits 77 (skipped) when a tool or root is missing.
set -euo pipefail
check=$1
need() { command -v "$1" >/dev/null || { echo "skipped: $1 is missing (scripts/setup installs it)"; exit 77; }; }
fail() { echo "FAILED: $*" >&2; exit 1; }
the_package() { # PACKAGE_DIR
    local debs=("$1"/kavelin_*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "not exactly one package in $1: ${debs[*]}"
    echo "${debs[0]}"
}

case $check in
build)
    rm -rf "$3" && cpack --config "$2/CPackConfig.cmake" -B "$3" >"$3.log" 2>&1 ||
        { cat "$3.log"; fail "cpack"; }
    deb=$(the_package "$3")
    echo "$deb: $(stat -c %s "$deb") bytes"
    dpkg-deb --info "$deb" control
    ;;
lintian)
    need lintian
    deb=$(the_package "$2")
    # Root is fine here: lintian unpacks into a folder of its own. Tags of every level are shown;
    # only errors and warnings fail.
    output=$(lintian --fail-on error,warning -I "$deb" 2>&1) && status=0 || status=$?
    printf '%s\n' "$output" | grep -v '^running with root privileges' || true
    [ $status -eq 0 ] || fail "lintian reports errors or warnings (status $status)"
    echo "lintian: no error, no warning"
    ;;
contents)
    need desktop-file-validate && need appstreamcli && need xmllint
    deb=$(the_package "$2") tree=$(mktemp -d) && trap 'rm -rf "$tree"' EXIT
    dpkg-deb -x "$deb" "$tree"
    desktop=$tree/usr/share/applications/kavelin.desktop
    hints=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $hints"
    [ -z "$hints" ] || fail "desktop-file-validate: $hints"
    echo "desktop-file-validate: no error, warning or hint"
    appstreamcli validate --no-net --pedantic "$tree"/usr/share/metainfo/org.kavelin.kavelin.metainfo.xml ||
        fail "appstreamcli"
    policy=$tree/usr/share/polkit-1/actions/org.kavelin.kavelin.policy
    xmllint --noout --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd "$policy" 2>/dev/null ||
        xmllint --noout "$policy" || fail "the polkit action is not valid"
    # The action names the helper the package installs, and asks for the password each time.
    helper=$(xmllint --xpath 'string(//annotate[@key="org.freedesktop.policykit.exec.path"])' "$policy")
    [ "$helper" = /usr/libexec/kavelin/kavelin-bless ] && [ -x "$tree$helper" ] ||
        fail "the action names $helper, which the package does not install"
    [ "$(xmllint --xpath 'string(//action/message)' "$policy")" = "Kavelin doit changer le disque de démarrage." ] ||
        fail "the action's message"
    ! grep -q auth_admin_keep "$policy" || fail "the action keeps the authorisation"
    echo "polkit action: $helper, $(xmllint --xpath 'string(//action/message)' "$policy")"
    # One icon for the menu entry, the software centres and the administrator prompt, at every
    # size they ask for; the tray icon with its renders beside it.
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ "$icon" = kavelin ] || fail "the desktop entry names the icon $icon"
    [ "$(xmllint --xpath 'string(//icon[@type="stock"])' "$tree"/usr/share/metainfo/org.kavelin.kavelin.metainfo.xml)" = "$icon" ] &&
        [ "$(xmllint --xpath 'string(//action/icon_name)' "$policy")" = "$icon" ] ||
        fail "the metainfo or the polkit action names another icon"
    sized() { # PICTURE SIDE
        [[ $(file -b "$1") == "PNG image data, $2 x $2,"* ]] || fail "${1#"$tree"}: $(file -b "$1")"
    }
    for side in 16 22 24 32 48 64 128 256; do
        sized "$tree/usr/share/icons/hicolor/${side}x$side/apps/$icon.png" "$side"
    done
    xmllint --noout "$tree/usr/share/icons/hicolor/scalable/apps/$icon.svg" || fail "the scalable icon"
    sized "$tree/usr/share/kavelin/MenuIcon.png" 36
    for side in 16 22 24 32 44 48 64 128; do
        sized "$tree/usr/share/kavelin/MenuIcon-$side.png" "$side"
    done
    echo "icon: $icon in hicolor from 16 to 256 pixels and scalable; the tray icon and its renders"
    ;;
install)
    need dpkg
    deb=$(the_package "$2") source=$3
    [ "$(id -u)" -eq 0 ] || { echo "skipped: needs root (the listing runs in a fake Mac, a mount namespace)"; exit 77; }
    # Beside the package, not in /tmp: the fake Mac binds the folders of the command it runs.
    root=$2/root && rm -rf "$root" && trap 'rm -rf "$root"' EXIT
    mkdir -p "$root"/var/lib/dpkg/{info,updates,triggers}
    touch "$root"/var/lib/dpkg/{status,available}
    # The scratch root has none of the libraries the package depends on: the host's serve.
    dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" >"$root.log" 2>&1 ||
        { cat "$root.log"; fail "dpkg -i"; }
    dpkg --root="$root" -s kavelin | grep -qx 'Status: install ok installed' || fail "not installed"
    echo "installed: $(dpkg --root="$root" -L kavelin | grep -c .) paths"
    listed=$("$source/scripts/fake-mac" "$root/usr/bin/kavelin" --list-volumes) || {
        status=$?; [ $status -eq 77 ] && { echo "skipped: no fake Mac here"; exit 77; }; fail "the listing exited with $status"; }
    expected="Macintosh HD  —  macOS 14.1 (en cours)
data 2  —  macOS 14.2
Data 10  —  macOS 13.6.1
Données  —  macOS 12.7.4"
    [ "$listed" = "$expected" ] || fail "the installed program listed:"$'\n'"$listed"
    echo "the installed program lists the fake Mac's four systems"
    # Application mode finds its module in the installed tree: without a display, the module
    # itself says so.
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kavelin" 2>&1) && fail "started without a display"
    [[ $said == *"aucune session graphique"* ]] || fail "application mode: $said"
    said=$("$root/usr/libexec/kavelin/kavelin-bless" 2>&1) && fail "the helper accepted no arguments"
    [[ $said == *"arguments refusés"* ]] || fail "the helper: $said"
    dpkg --root="$root" --force-script-chrootless -r kavelin >>"$root.log" 2>&1 || { cat "$root.log"; fail "dpkg -r"; }
    left=$(find "$root" -mindepth 1 -not -path "$root/var*" -not -type d)
    [ -z "$left" ] || fail "dpkg -r left: $left"
    echo "dpkg -r removed every file"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
