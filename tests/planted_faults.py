#!/usr/bin/env python3
"""Plants known faults, one at a time, in a scratch copy of the tree and checks that the test
suite catches each one: the faults the tests exist to find. A fault whose text no longer appears
in the code is reported as stale, so that the list follows the code.

    tests/planted_faults.py [build-folder] [regular expression over the fault names]

The scratch copy lives in <build-folder>/planted (reused between runs: only what a fault touches
is rebuilt). Exit status 1 when a fault survives or is stale.
"""
import filecmp
import os
import re
import shutil
import subprocess
import sys
import time

# name: (file, text in the code, planted text, tests that must fail (ctest -R)), or, for a fault
# made of several edits: ([(file, text, planted text), ...], tests)
FAULTS = {
    # The selection flow.
    "busy guard removed": ("startup/select_volume.cpp",
        "    if (isWorking)\n        return;\n", "", "SelectVolume|MenuRebuild"),
    "busy flag cleared before the flow": ("startup/select_volume.cpp",
        "    isWorking = true;\n", "    isWorking = false;\n", "SelectVolume|MenuRebuild"),
    "application not brought forward": ("startup/select_volume.cpp",
        "        platform.application.activateIgnoringOtherApps();\n        const int response",
        "        const int response", "SelectVolume"),
    "Return answers the restart button": ("startup/select_volume.cpp",
        "alert.addButtonWithTitle(texts::restartNowButton).answersNoKey();",
        "alert.addButtonWithTitle(texts::restartNowButton);", "SelectVolume"),
    "re-validation skipped": ("startup/select_volume.cpp",
        "if (!stillThere) {", "if (false) {", "SelectVolume"),
    "restart requested after a next-start success": ("startup/select_volume.cpp",
        "        if (nextOnly) {", "        if (false) {", "SelectVolume"),
    "settings opened on any answer": ("settings/startup_settings.cpp",
        "    if (platform.alerts.runModal(alert) == platform::firstButtonReturn)\n        openStartupSettings(platform);",
        "    platform.alerts.runModal(alert);\n    openStartupSettings(platform);", "SelectVolume"),
    "the older pane opened though the settings did": ("settings/startup_settings.cpp",
        "    if (platform.workspace.openURL(startupDiskSettingsURL))\n        return;\n",
        "    platform.workspace.openURL(startupDiskSettingsURL);\n", "MenuRebuild"),
    "status not read again after registering": ("settings/launch_at_login.cpp",
        "} else if (service.status() == platform::loginItemEnabled) {", "} else if (true) {",
        "LaunchAtLogin"),
    # The privileged command.
    "quoting passes in the wrong order": ("startup/privileged.cpp",
        "replacingAll(replacingAll(command, '\\\\', \"\\\\\\\\\"), '\"', \"\\\\\\\"\")",
        "replacingAll(replacingAll(command, '\"', \"\\\\\\\"\"), '\\\\', \"\\\\\\\\\")",
        "Privileged|PkexecScriptRunner"),
    "single quote left unescaped": ("startup/privileged.cpp",
        "quoted += \"'\\\\''\";", "quoted += '\\'';", "Privileged|PkexecScriptRunner"),
    "a dismissed prompt counted as a failure": ("startup/privileged.cpp",
        "*number == -128 ?", "*number == 128 ?", "Privileged"),
    # Discovery and the listing.
    "running system not first": ("volumes/discovery.cpp",
        "                         if (a.isCurrent() != b.isCurrent())\n                             return a.isCurrent();\n",
        "", "DiscoveryOrder"),
    "the root held to the volume tests": ("volumes/discovery.cpp",
        "if (!isRoot && !passesVolumeTests(*attributes))", "if (!passesVolumeTests(*attributes))",
        "Discovery"),
    "a later appearance replaces the first": ("volumes/discovery.cpp",
        "        if (seenKeys.contains(key))\n            return std::nullopt;\n", "",
        "Discovery"),
    "a control character reaches the terminal": ("texts/visible_text.cpp",
        "    return c < 0x20 ||", "    return c < 0x0A ||", "CommandLine"),
    "bidirectional override reaches the terminal": ("texts/visible_text.cpp",
        "(c >= 0x202A && c <= 0x202E)", "(c >= 0x202A && c <= 0x202D)", "CommandLine"),
    "volumes without UUID keyed by their path alone": ("volumes/discovery.cpp",
        ": source.volumeKey(resolved);", ": resolved;", "Discovery"),
    # The Linux volume source.
    "network share counted as local": ("platform/linux/linux_volume_source.cpp",
        "return VolumeAttributes{true, !mount->isNetwork, visibleToUser, {}, {}};",
        "return VolumeAttributes{true, true, visibleToUser, {}, {}};", "SyntheticMountTable"),
    "mounts read without a deadline": ([
        ("platform/linux/linux_volume_source.cpp", "        mount.mayHang =\n            isFuse(",
         "        mount.mayHang = false && (isFuse("),
        ("platform/linux/linux_volume_source.cpp", "!mount.source.starts_with('/'));",
         "!mount.source.starts_with('/')));")], "ListVolumes.LeavesOut"),
    "a new probe while one is stuck": ("platform/linux/bounded_probes.h",
        "        if (!state_->waitUntilIdle(lock, key, deadline)) {", "        if (false) {",
        "MountedVolumes.AMountThatNeverAnswers"),
    "version file read across mounts": ("platform/linux/file_beneath.cpp",
        "how.resolve = RESOLVE_BENEATH | RESOLVE_NO_XDEV | RESOLVE_NO_MAGICLINKS;",
        "how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;", "MountedVolumes|ListVolumes"),
    # The administrator prompt and the restart request.
    "child started in the caller's folder": ("platform/linux/pkexec_script_runner.cpp",
        "{minimalEnvironment(), \"/\", false,", "{minimalEnvironment(), \".\", false,",
        "PkexecScriptRunner"),
    "child exits left to an inherited SIGCHLD setting": ("platform/linux/pkexec_script_runner.cpp",
        "    takeBackChildExits();\n", "", "PkexecScriptRunner"),
    "pkexec's reason traced as it came": ("platform/linux/pkexec_script_runner.cpp",
        "status + \" : \" + visibleText(text.substr(start, end - start))",
        "status + \" : \" + text.substr(start, end - start)", "PkexecScriptRunner"),
    "root blesses whatever is mounted at the path": ("platform/linux/bless_helper.cpp",
        "if (*now != parsed->approved) {", "if (false) {", "RootSide"),
    "a quote in the path ends the bless argument": ("platform/linux/bless_invocation.cpp",
        "if (command.substr(at, escapedQuote.size()) != escapedQuote)", "if (true)",
        "BlessInvocation|RootSide"),
    "locale passed unchecked": ("platform/linux/pkexec_script_runner.cpp",
        "if (value && (isList ? isLocaleList(value) : isLocaleName(value)))", "if (value)",
        "PkexecScriptRunner"),
    "restart asked of Xfce without its dialog": ("platform/linux/dbus_restart_requester.cpp",
        "\"Logout\", g_variant_new(\"(bb)\", TRUE, TRUE)", "\"Logout\", g_variant_new(\"(bb)\", FALSE, TRUE)",
        "DbusRestartRequester"),
    "the bus connection's close not awaited": ("platform/linux/dbus_restart_requester.cpp",
        "        auto closed = run(", "        g_dbus_connection_close(connection, nullptr, nullptr, nullptr);\n"
        "        std::shared_ptr<Completion> closed;\n        if (false)\n            run(", "DbusRestartRequester"),
    # The launch-at-login entry.
    "a backslash left bare in the program path": ("platform/linux/xdg_login_items.cpp",
        "if (needsQuotes && (c == '\"' || c == '`' || c == '$' || c == '\\\\'))",
        "if (needsQuotes && (c == '\"' || c == '`' || c == '$'))", "XdgLoginItems"),
    "a percent sign left single": ("platform/linux/xdg_login_items.cpp",
        "        if (c == '%')\n            quoted += '%';\n", "", "XdgLoginItems"),
    "an entry that GLib refuses counted as started": ("platform/linux/autostart_entry.cpp",
        "return glibStartsEntry(contents, session) && systemdStartsEntry(contents, session);",
        "return systemdStartsEntry(contents, session);", "XdgLoginItems"),
    # Property lists.
    "byte-order mark left in the text": ("platform/linux/property_list_decoder.cpp",
        "return TextEncoding{std::string(name), mark.size()};", "return TextEncoding{std::string(name)};",
        "PropertyList"),
    "declared encoding ignored": ("platform/linux/property_list_decoder.cpp",
        "    return TextEncoding{std::string(name)};\n}", "    return TextEncoding{\"UTF-8\"};\n}",
        "PropertyList"),
    # One tray application per user.
    "a second start runs beside the first": ("platform/linux/qt/qt_module.cpp",
        "if (instance.state() == InstanceClaim::heldElsewhere) {", "if (false) {",
        "program_one_instance"),
    "the lock taken in a folder others may write to": ("platform/linux/single_instance.cpp",
        "status.st_uid != ::geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH))", "false",
        "SingleInstanceLock"),
    "the lock file followed through a link": ("platform/linux/single_instance.cpp",
        "O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW", "O_RDWR | O_CREAT | O_CLOEXEC",
        "SingleInstanceLock"),
    # The tray menu.
    "menu opened over the icon": ("platform/linux/qt/qt_status_bar.cpp",
        "return {x, std::max(icon.bottom() + 1, workArea.top())};", "return {x, icon.top()};",
        "QtStatus|QtMenu"),
    "a click on the icon leaves the alert behind": ("platform/linux/qt/qt_status_bar.cpp",
        "        bringAlertForward();\n        if (rebuiltForOpening)", "        if (rebuiltForOpening)",
        "alert_behind_window_end_to_end"),
    "a docked icon without its tool tip": ("platform/linux/qt/qt_status_bar.cpp",
        "    tray->setToolTip(toolTip);\n    if (rendered)", "    if (rendered)",
        "select_volume_end_to_end_xembed"),
    "every size scaled from one picture": ("platform/linux/qt/qt_images.cpp",
        "icon.addFile(entry.filePath(), QSize(side, side));", "(void)side;", "QtImages|QtAlerts"),
    # The Qt alerts.
    "Space presses a focused button": ([
        ("platform/linux/qt/qt_alerts.cpp", "        button->setFocusPolicy(Qt::NoFocus);\n", ""),
        ("platform/linux/qt/qt_alerts.cpp", "else if (key != Qt::Key_Space && key != Qt::Key_Select)",
         "else")], "QtAlerts|select_volume_end_to_end"),
    "alerts block the tray icon": ("platform/linux/qt/qt_alerts.cpp",
        "box.setWindowModality(Qt::WindowModal);", "box.setWindowModality(Qt::ApplicationModal);",
        "select_volume_end_to_end"),
    # The macOS backend's portable part.
    "version file found through a link": ("platform/macos/portable/file_in_volume.cpp",
        "O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC", "O_RDONLY | O_DIRECTORY | O_CLOEXEC",
        "FileInVolume"),
    "running system answered from its mount flags": ("platform/macos/portable/mount_flags.cpp",
        "    if (mount.mountPoint == \"/\")\n        return false;\n", "", "MountFlags"),
    "a mount hidden by a later one answers for its path": ("platform/macos/portable/mount_flags.cpp",
        "for (auto mount = mounts.rbegin(); mount != mounts.rend(); ++mount)",
        "for (auto mount = mounts.begin(); mount != mounts.end(); ++mount)", "MountFlags"),
    "restart sent after a refused consent": ("platform/macos/portable/restart_event.cpp",
        "        return {false, \"autorisation refusée", "        return {true, \"autorisation refusée",
        "RestartEvent"),
}

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL,
                          stderr=subprocess.STDOUT).returncode


def scratch_copy(build):
    """The tracked and new files of the tree, copied where they changed since the last run."""
    source = os.path.join(build, "planted", "src")
    names = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT,
                           capture_output=True, text=True, check=True).stdout.split("\n")
    for name in filter(None, names):
        origin, target = os.path.join(ROOT, name), os.path.join(source, name)
        if os.path.isfile(origin) and not (os.path.exists(target) and
                                           filecmp.cmp(origin, target, shallow=False)):
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy2(origin, target)
    return source


def write(source, texts):
    for path, text in texts.items():
        with open(os.path.join(source, path), "w", encoding="utf-8") as out:
            out.write(text)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
    wanted = sys.argv[2] if len(sys.argv) > 2 else ""
    source, binary = scratch_copy(build), os.path.join(build, "planted", "build")
    if run(["cmake", "-S", source, "-B", binary, "-G", "Ninja", "-DKAVELIN_BUILD_BENCH=OFF"],
           source) or run(["cmake", "--build", binary], source):
        print("planted faults: the scratch copy does not build unchanged")
        return 1
    verdicts = {}
    for name, fault in FAULTS.items():
        if not re.search(wanted, name):
            continue
        edits, tests = (fault[0], fault[1]) if isinstance(fault[0], list) else ([fault[:3]],
                                                                               fault[3])
        originals = {path: open(os.path.join(source, path), encoding="utf-8").read()
                     for path, _, _ in edits}
        planted = dict(originals)
        for path, original, replacement in edits:
            if planted[path].count(original) != 1:
                verdicts[name] = "STALE"  # the code changed: the fault must follow it
                break
            planted[path] = planted[path].replace(original, replacement)
        else:
            started = time.monotonic()
            try:
                write(source, planted)
                # A fault that does not build says nothing about the tests.
                if run(["cmake", "--build", binary], source):
                    verdicts[name] = "NO BUILD"
                else:
                    failed = run(["ctest", "--test-dir", binary, "-R", tests, "--timeout", "300"],
                                 source)
                    verdicts[name] = "caught" if failed else "MISSED"
            finally:
                write(source, originals)
            print(f"{verdicts[name]:8} {name} ({time.monotonic() - started:.0f} s)")
            continue
        print(f"{verdicts[name]:8} {name}")
    run(["cmake", "--build", binary], source)
    caught = sum(verdict == "caught" for verdict in verdicts.values())
    print(f"planted faults: {caught} of {len(verdicts)} caught")
    return 0 if caught == len(verdicts) else 1


if __name__ == "__main__":
    sys.exit(main())
