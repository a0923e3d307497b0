#include <gtest/gtest.h>

#include <functional>

#include "fake_platform.h"
#include "volumes/startup_volume.h"

namespace kavelin {
namespace {

using fake::FakeVolumeSource;
using platform::PropertyList;

// A Mac as discovery sees it: the running system at "/" (which reports itself neither local nor
// browsable, as a sealed system volume may), its data volume without a version file, and an
// external disk; "/Volumes" holds a link to the root and the disk again.
FakeVolumeSource typicalMac() {
    FakeVolumeSource source;
    source.addVolume("/", "Macintosh HD", "UUID-ROOT", "14.5");
    source.volumeAttributes["/"] = {false, false, false, "Macintosh HD", "UUID-ROOT"};
    source.volumeAttributes["/System/Volumes/Data"] = {true, true, true, "Data", "UUID-DATA"};
    source.addVolume("/Volumes/Backup", "Backup", "UUID-BACKUP", "13.6");
    source.mounts = {{"/", "/System/Volumes/Data", "/Volumes/Backup"}};
    source.directories["/Volumes"] = {"/Volumes/Macintosh HD", "/Volumes/Backup"};
    source.links["/Volumes/Macintosh HD"] = "/";
    return source;
}

std::vector<std::string> titles(const std::vector<StartupVolume>& volumes) {
    std::vector<std::string> result;
    for (const auto& v : volumes)
        result.push_back(v.url().path + " | " + v.menuTitle());
    return result;
}

using Titles = std::vector<std::string>;

struct Scenario {
    const char* story;
    std::function<void(FakeVolumeSource&)> change;
    Titles expected;
};

class Discovery : public testing::TestWithParam<Scenario> {};

TEST_P(Discovery, FindsExactlyTheQualifyingVolumes) {
    FakeVolumeSource source = typicalMac();
    GetParam().change(source);
    EXPECT_EQ(titles(StartupVolume::mounted(source, fake::realTextService())), GetParam().expected);
}

const std::string root = "/ | Macintosh HD  \u2014  macOS 14.5 (en cours)";
const std::string backup = "/Volumes/Backup | Backup  \u2014  macOS 13.6";

PropertyList dictionaryWith(std::optional<std::string> productVersion,
                            std::string key = "ProductVersion") {
    return {true, {{"ProductName", "macOS"}, {key, productVersion}}};
}

// Replaces what the backup's version file decodes to.
std::function<void(FakeVolumeSource&)> backupVersionFile(std::optional<PropertyList> decoded) {
    return [decoded](FakeVolumeSource& s) {
        const std::string contents =
            s.files["/Volumes/Backup/System/Library/CoreServices/SystemVersion.plist"];
        if (decoded)
            s.propertyLists[contents] = *decoded;
        else
            s.propertyLists.erase(contents);
    };
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, Discovery,
    testing::Values(
        Scenario{"the root is exempt from the volume tests and every volume appears once",
                 [](FakeVolumeSource&) {},
                 {root, backup}},
        Scenario{"a root without version file drops every appearance of the root",
                 [](FakeVolumeSource& s) {
                     s.files.erase("/System/Library/CoreServices/SystemVersion.plist");
                 },
                 {backup}},
        Scenario{"a root whose attributes cannot be read is dropped",
                 [](FakeVolumeSource& s) { s.volumeAttributes.erase("/"); },
                 {backup}},
        Scenario{"no mount list: the root and the entries of /Volumes still count",
                 [](FakeVolumeSource& s) { s.mounts.reset(); },
                 {root, backup}},
        Scenario{"no /Volumes: the root and the mounted volumes still count",
                 [](FakeVolumeSource& s) { s.directories.clear(); },
                 {root, backup}},
        Scenario{"a network volume is dropped",
                 [](FakeVolumeSource& s) {
                     s.volumeAttributes["/Volumes/Backup"].volumeIsLocal = false;
                 },
                 {root}},
        Scenario{"a hidden volume is dropped",
                 [](FakeVolumeSource& s) {
                     s.volumeAttributes["/Volumes/Backup"].volumeIsBrowsable = false;
                 },
                 {root}},
        Scenario{
            "a plain folder is dropped whatever it holds",
            [](FakeVolumeSource& s) { s.volumeAttributes["/Volumes/Backup"].isVolume = false; },
            {root}},
        Scenario{
            "an absent attribute counts as false",
            [](FakeVolumeSource& s) { s.volumeAttributes["/Volumes/Backup"].isVolume.reset(); },
            {root}},
        Scenario{"a dangling link under /Volumes is dropped",
                 [](FakeVolumeSource& s) { s.directories["/Volumes"].push_back("/Volumes/Gone"); },
                 {root, backup}},
        Scenario{"an empty version is accepted",
                 backupVersionFile(dictionaryWith("")),
                 {root, "/Volumes/Backup | Backup  \u2014  macOS "}},
        Scenario{"a version that is not a string drops the volume",
                 backupVersionFile(dictionaryWith(std::nullopt)),
                 {root}},
        Scenario{"the key is matched with its case",
                 backupVersionFile(dictionaryWith("13.6", "productversion")),
                 {root}},
        Scenario{"an array at the top level drops the volume",
                 backupVersionFile(PropertyList{false, {}}),
                 {root}},
        Scenario{"a file that is not a property list drops the volume",
                 backupVersionFile(std::nullopt),
                 {root}},
        Scenario{"a nameless volume mounted deeper shows the last component",
                 [](FakeVolumeSource& s) {
                     s.addVolume("/media/usb/stick", std::nullopt, std::nullopt, "12.7");
                     s.mounts->push_back("/media/usb/stick");
                 },
                 {root, backup, "/media/usb/stick | stick  \u2014  macOS 12.7"}},
        Scenario{"two folders whose names differ only in normalisation are two volumes",
                 [](FakeVolumeSource& s) {
                     for (std::string path : {"/mnt/Caf\u00e9", "/mnt/Cafe\u0301"}) {
                         s.addVolume(path, std::nullopt, std::nullopt, "12.7");
                         s.mounts->push_back(path);
                     }
                 },
                 {root, backup, "/mnt/Caf\u00e9 | Caf\u00e9  \u2014  macOS 12.7",
                  "/mnt/Cafe\u0301 | Cafe\u0301  \u2014  macOS 12.7"}}));

TEST(DiscoveryDeduplication, KeepsTheFirstQualifyingAppearanceOfEachVolume) {
    FakeVolumeSource source;
    // Two mount points of one volume UUID: the first in candidate order wins, not the first by
    // name.
    source.addVolume("/Volumes/Zed", "Zed", "SAME", "14.1");
    source.addVolume("/Volumes/Alpha", "Alpha", "SAME", "14.1");
    // A first appearance that fails a test reserves nothing.
    source.addVolume("/mnt/remote", "Remote", "SHARED", "13.0");
    source.volumeAttributes["/mnt/remote"].volumeIsLocal = false;
    source.addVolume("/mnt/local", "Local", "SHARED", "13.0");
    // Without a UUID, a volume is known by its resolved path.
    source.addVolume("/mnt/plain", "Plain", std::nullopt, "12.0");
    source.links["/Volumes/Plain"] = "/mnt/plain";
    source.mounts = {{"/Volumes/Zed", "/Volumes/Alpha", "/mnt/remote", "/mnt/local", "/mnt/plain"}};
    source.directories["/Volumes"] = {"/Volumes/Alpha", "/Volumes/Zed", "/Volumes/Plain"};

    EXPECT_EQ(
        titles(StartupVolume::mounted(source, fake::realTextService())),
        (Titles{"/mnt/local | Local  \u2014  macOS 13.0", "/mnt/plain | Plain  \u2014  macOS 12.0",
                "/Volumes/Zed | Zed  \u2014  macOS 14.1"}));
}

TEST(DiscoveryOrder, PutsTheRunningSystemFirstThenSortsNamesLikeTheFinder) {
    FakeVolumeSource source;
    source.addVolume("/", "Zulu", "R", "14.5");
    const std::vector<std::pair<std::string, std::string>> disks = {
        {"/mnt/1", "Disk 10"}, {"/mnt/2", "disk 2"}, {"/mnt/3", "Same"}, {"/mnt/4", "Disk 1"},
        {"/mnt/5", "Same"},    {"/mnt/6", "Écran"},  {"/mnt/7", "Eden"},
    };
    source.mounts = std::vector<std::string>{};
    for (const auto& [path, name] : disks) {
        source.addVolume(path, name, std::nullopt, "13.0");
        source.mounts->push_back(path);
    }
    std::vector<std::string> order;
    for (const auto& v : StartupVolume::mounted(source, fake::realTextService()))
        order.push_back(v.name() + "@" + v.url().path);
    EXPECT_EQ(order, (std::vector<std::string>{"Zulu@/", "Disk 1@/mnt/4", "disk 2@/mnt/2",
                                               "Disk 10@/mnt/1", "Écran@/mnt/6", "Eden@/mnt/7",
                                               "Same@/mnt/3", "Same@/mnt/5"}));
}

} // namespace
} // namespace kavelin
