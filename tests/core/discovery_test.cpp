#include <gtest/gtest.h>

#include <functional>

#include "fake_platform.h"
#include "volumes/startup_volume.h"

namespace kavelin {
namespace {

using fake::FakePlatform;
using platform::PropertyList;
using Titles = std::vector<std::string>;

Titles titles(FakePlatform& fake) {
    Titles result;
    for (const auto& v : StartupVolume::mounted(fake, fake.platform.text))
        result.push_back(v.url().path + " | " + v.menuTitle());
    return result;
}

// A Mac as discovery sees it: the running system at "/" (which reports itself neither local nor
// browsable, as a sealed system volume may), its data volume without a version file, and an
// external disk; "/Volumes" holds a link to the root and the disk again.
TEST(Discovery, FindsExactlyTheQualifyingVolumes) {
    const std::string root = "/ | Macintosh HD  \u2014  macOS 14.5 (en cours)";
    const std::string backup = "/Volumes/Backup | Backup  \u2014  macOS 13.6";
    const std::string rootFile = "/System/Library/CoreServices/SystemVersion.plist";
    const std::string backupFile = "/Volumes/Backup" + rootFile;
    // clang-format off
    const auto version = [&](std::optional<std::string> value, std::string key = "ProductVersion") {
        return [=](auto& s) { s.versionFiles[backupFile] = PropertyList{true, {{key, value}}}; };
    };
    const auto mountedAt = [](std::string path) {
        return [=](auto& s) { s.addVolume(path, {}, {}, "12.7"); s.mounts->push_back(path); };
    };
    const std::string stick = "/media/usb/stick | stick  \u2014  macOS 12.7";
    const std::tuple<const char*, std::function<void(FakePlatform&)>, Titles> scenarios[] = {
        {"the root is exempt from the volume tests and every volume appears once",
         [](FakePlatform&) {}, {root, backup}},
        {"a root without version file drops every appearance of the root",
         [&](FakePlatform& s) { s.versionFiles.erase(rootFile); }, {backup}},
        {"no mount list: the root and the entries of /Volumes still count",
         [](FakePlatform& s) { s.mounts.reset(); }, {root, backup}},
        {"no /Volumes: the root and the mounted volumes still count",
         [](FakePlatform& s) { s.directories.clear(); }, {root, backup}},
        {"a network volume is dropped",
         [](FakePlatform& s) { s.volumeAttributes["/Volumes/Backup"].volumeIsLocal = false; },
         {root}},
        {"a hidden volume is dropped",
         [](FakePlatform& s) { s.volumeAttributes["/Volumes/Backup"].volumeIsBrowsable = false; },
         {root}},
        {"a plain folder is dropped whatever it holds, an absent attribute counting as false",
         [](FakePlatform& s) { s.volumeAttributes["/Volumes/Backup"].isVolume.reset(); }, {root}},
        {"an empty version is accepted", version(""),
         {root, "/Volumes/Backup | Backup  \u2014  macOS "}},
        {"a version that is not a string drops the volume", version(std::nullopt), {root}},
        {"the key is matched with its case", version("13.6", "productversion"), {root}},
        {"an array at the top level drops the volume",
         [&](FakePlatform& s) { s.versionFiles[backupFile] = PropertyList{false, {}}; }, {root}},
        {"a file that is not a property list drops the volume",
         [&](FakePlatform& s) { s.versionFiles[backupFile].reset(); }, {root}},
        {"a nameless volume mounted deeper shows the last component", mountedAt("/media/usb/stick"),
         {root, backup, stick}},
        {"two folders whose names differ only in normalisation are two volumes",
         [&](FakePlatform& s) { mountedAt("/mnt/Caf\u00e9")(s); mountedAt("/mnt/Cafe\u0301")(s); },
         {root, backup, "/mnt/Caf\u00e9 | Caf\u00e9  \u2014  macOS 12.7",
          "/mnt/Cafe\u0301 | Cafe\u0301  \u2014  macOS 12.7"}},
        {"where the source says names compare by equivalence, they are one volume",
         [&](FakePlatform& s) {
             mountedAt("/mnt/Caf\u00e9")(s); mountedAt("/mnt/Cafe\u0301")(s);
             s.keyOf = [&](const std::string& path) { return s.platform.text.canonicalForm(path); };
         }, {root, backup, "/mnt/Caf\u00e9 | Caf\u00e9  \u2014  macOS 12.7"}},
        {"two mounts of one volume without UUID, as the source keys them, are one volume",
         [&](FakePlatform& s) {
             mountedAt("/media/usb/stick")(s); mountedAt("/mnt/bound")(s);
             s.keyOf = [](const std::string& path) { return path.starts_with("/m") ? "stick" : path; };
         }, {root, backup, stick}},
        {"a first appearance that fails a test reserves nothing of its volume",
         [](FakePlatform& s) {
             s.addVolume("/mnt/share", "Share", "UUID-BACKUP", "13.6");
             s.volumeAttributes["/mnt/share"].volumeIsLocal = false;
             s.mounts->insert(s.mounts->begin(), "/mnt/share");
         }, {root, backup}},
    };
    // clang-format on
    for (const auto& [story, change, expected] : scenarios) {
        SCOPED_TRACE(story);
        FakePlatform fake;
        fake.addVolume("/", "Macintosh HD", "UUID-ROOT", "14.5");
        fake.volumeAttributes["/"] = {false, false, false, "Macintosh HD", "UUID-ROOT"};
        fake.volumeAttributes["/System/Volumes/Data"] = {true, true, true, "Data", "UUID-DATA"};
        fake.addVolume("/Volumes/Backup", "Backup", "UUID-BACKUP", "13.6");
        fake.mounts = {{"/", "/System/Volumes/Data", "/Volumes/Backup"}};
        fake.directories["/Volumes"] = {"/Volumes/Macintosh HD", "/Volumes/Backup"};
        fake.links["/Volumes/Macintosh HD"] = "/";
        change(fake);
        EXPECT_EQ(titles(fake), expected);
    }
}

// The running system first, then the names in the text service's order (its own tests cover that
// order), ties kept in discovery order.
TEST(DiscoveryOrder, PutsTheRunningSystemFirstThenSortsNamesLikeTheFinder) {
    FakePlatform fake;
    fake.addVolume("/", "Zulu", "R", "14.5");
    for (const auto& [path, name] : std::map<std::string, std::string>{
             {"/mnt/1", "Disk 10"}, {"/mnt/2", "Same"}, {"/mnt/3", "disk 2"}, {"/mnt/4", "Same"}}) {
        fake.addVolume(path, name, std::nullopt, "13.0");
        fake.mounts->push_back(path);
    }
    Titles order;
    for (const auto& v : StartupVolume::mounted(fake, fake.platform.text))
        order.push_back(v.name() + "@" + v.url().path);
    EXPECT_EQ(order,
              (Titles{"Zulu@/", "disk 2@/mnt/3", "Disk 10@/mnt/1", "Same@/mnt/2", "Same@/mnt/4"}));
}

// Names compare by canonical equivalence, every other field exactly; URLs by their text.
TEST(StartupVolumeEquality, ComparesEveryFieldWithCanonicalEquivalence) {
    const auto record = [](std::string name, std::optional<std::string> uuid = "1234",
                           std::string version = "14.5", bool isCurrent = false,
                           std::string path = "/Volumes/Système") {
        return StartupVolume(platform::FileURL{path}, name, version, uuid, isCurrent);
    };
    const auto base = record("Système");
    const std::pair<StartupVolume, bool> cases[] = {
        {base, true},
        {record("Syste\u0300me"), true},
        {record("système"), false},
        {record("Système", "1234", "14.6"), false},
        {record("Système", "5678"), false},
        {record("Système", std::nullopt), false},
        {record("Système", "1234", "14.5", true), false},
        {record("Système", "1234", "14.5", false, "/Volumes/Syste\u0300me"), false}};
    FakePlatform fake;
    for (const auto& [other, equal] : cases) {
        EXPECT_EQ(base.equals(other, fake.platform.text), equal) << other.menuTitle();
        EXPECT_EQ(other.equals(base, fake.platform.text), equal) << other.menuTitle();
    }
    EXPECT_FALSE(record("A", std::nullopt).equals(record("A", ""), fake.platform.text));
}

} // namespace
} // namespace kavelin
