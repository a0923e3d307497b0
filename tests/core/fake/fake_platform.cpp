#include "fake_platform.h"

#include <algorithm>

namespace kavelin::fake {

std::vector<std::string> Story::matching(const std::string& prefix) const {
    std::vector<std::string> found;
    std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                 [&](const std::string& e) { return e.starts_with(prefix); });
    return found;
}

void FakeApplication::setDelegate(platform::ApplicationDelegate* d) {
    story.record("setDelegate");
    delegate = d;
}

int FakeApplication::run() {
    story.record("run");
    if (delegate)
        delegate->applicationDidFinishLaunching();
    if (whileRunning)
        whileRunning();
    return 0;
}

std::unique_ptr<platform::StatusItem> FakeStatusBar::statusItemWithLength(double length) {
    story.record("statusItem");
    lastLength = length;
    auto item = std::make_unique<FakeStatusItem>(giveButtons);
    lastItem = item.get();
    return item;
}

std::optional<std::string> FakeImages::pathForResource(const std::string& name,
                                                       const std::string& extension) {
    auto found = resources.find(name + "." + extension);
    if (found == resources.end())
        return std::nullopt;
    return found->second;
}

std::optional<platform::Image> FakeImages::imageWithContentsOfFile(const std::string& path) {
    if (!loadableFiles.contains(path))
        return std::nullopt;
    return platform::Image{platform::Image::Kind::file, path, 0, 0, std::nullopt};
}

std::optional<platform::Image> FakeImages::systemSymbol(const std::string& name,
                                                        const std::optional<std::string>& d) {
    if (!symbols.contains(name))
        return std::nullopt;
    return platform::Image{platform::Image::Kind::symbol, name, 0, 0, d};
}

int FakeAlerts::runModal(const platform::Alert& alert) {
    story.record("alert " + alert.messageText);
    shown.push_back(alert);
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    if (answering)
        return answering(alert);
    return platform::firstButtonReturn;
}

int FakeLoginItems::status() {
    int value = statuses.front();
    if (statuses.size() > 1)
        statuses.pop_front();
    story.record("status " + std::to_string(value));
    return value;
}

std::optional<std::string> FakeLoginItems::registerItem() {
    story.record("register");
    return registerError;
}

std::optional<std::string> FakeLoginItems::unregisterItem() {
    story.record("unregister");
    return unregisterError;
}

std::optional<std::vector<std::string>>
FakeVolumeSource::directoryEntries(const std::string& path) {
    auto found = directories.find(path);
    if (found == directories.end())
        return std::nullopt;
    return found->second;
}

std::string FakeVolumeSource::resolvingSymlinks(const std::string& path) {
    auto found = links.find(path);
    return found == links.end() ? path : found->second;
}

std::optional<platform::VolumeAttributes> FakeVolumeSource::attributes(const std::string& path) {
    ++attributeReads;
    auto found = volumeAttributes.find(path);
    if (found == volumeAttributes.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::string> FakeVolumeSource::readFile(const std::string& path) {
    auto found = files.find(path);
    if (found == files.end())
        return std::nullopt;
    return found->second;
}

std::optional<platform::PropertyList>
FakeVolumeSource::decodePropertyList(const std::string& data) {
    auto found = propertyLists.find(data);
    if (found == propertyLists.end())
        return std::nullopt;
    return found->second;
}

void FakeVolumeSource::addVolume(const std::string& path, std::optional<std::string> name,
                                 std::optional<std::string> uuid, const std::string& version) {
    volumeAttributes[path] = {true, true, true, std::move(name), std::move(uuid)};
    std::string plistPath =
        (path == "/" ? "" : path) + "/System/Library/CoreServices/SystemVersion.plist";
    std::string contents = "plist:" + path + ":" + version;
    files[plistPath] = contents;
    propertyLists[contents] = {true, {{"ProductName", "macOS"}, {"ProductVersion", version}}};
}

} // namespace kavelin::fake
