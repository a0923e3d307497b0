#include "fake_platform.h"

#include <algorithm>

#include "platform/native_services.h"

namespace kavelin::fake {

namespace {

template <typename Map>
std::optional<typename Map::mapped_type> lookUp(const Map& map, const std::string& key) {
    auto found = map.find(key);
    return found == map.end() ? std::nullopt : std::optional(found->second);
}

} // namespace

// Its text service is the backend's real one, so that equivalence and order are the program's.
FakePlatform::FakePlatform()
    : platform{*this, *this, *this, *this, *this, *this, *this, platform::nativeTextService(),
               *this, *this} {}

Calls FakePlatform::callsStartingWith(const std::string& prefix) const {
    Calls found;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
                 [&](const std::string& call) { return call.starts_with(prefix); });
    return found;
}

void FakePlatform::setDelegate(platform::ApplicationDelegate* d) {
    calls.push_back("setDelegate");
    delegate = d;
}

int FakePlatform::run() {
    calls.push_back("run");
    delegate->applicationDidFinishLaunching();
    whileRunning();
    return 0;
}

std::unique_ptr<platform::StatusItem> FakePlatform::statusItemWithLength(double length) {
    calls.push_back("statusItem");
    statusItemLength = length;
    auto item = std::make_unique<FakeStatusItem>(giveButtons);
    statusItem = item.get();
    return item;
}

std::optional<std::string> FakePlatform::pathForResource(const std::string& name,
                                                         const std::string& extension) {
    return lookUp(resources, name + "." + extension);
}

std::optional<platform::Image> FakePlatform::imageWithContentsOfFile(const std::string& path) {
    if (!loadableFiles.contains(path))
        return std::nullopt;
    return platform::Image{platform::Image::Kind::file, path, 0, 0, std::nullopt};
}

std::optional<platform::Image> FakePlatform::systemSymbol(const std::string& name,
                                                          const std::optional<std::string>& d) {
    if (!symbols.contains(name))
        return std::nullopt;
    return platform::Image{platform::Image::Kind::symbol, name, 0, 0, d};
}

int FakePlatform::runModal(const platform::Alert& alert) {
    calls.push_back("alert " + alert.messageText);
    alerts.push_back(alert);
    if (answers.empty())
        return answer(alert);
    const int next = answers.front();
    answers.pop_front();
    return next;
}

bool FakePlatform::openURL(const std::string& url) {
    calls.push_back("openURL " + url);
    return openable.contains(url);
}

int FakePlatform::status() {
    const int value = statuses.front();
    if (statuses.size() > 1)
        statuses.pop_front();
    calls.push_back("status " + std::to_string(value));
    return value;
}

std::optional<std::string> FakePlatform::registerItem() {
    calls.push_back("register");
    return loginError;
}

std::optional<std::string> FakePlatform::unregisterItem() {
    calls.push_back("unregister");
    return loginError;
}

std::optional<std::vector<std::string>> FakePlatform::directoryEntries(const std::string& path) {
    return lookUp(directories, path);
}

std::string FakePlatform::resolvingSymlinks(const std::string& path) {
    return lookUp(links, path).value_or(path);
}

std::optional<platform::VolumeAttributes> FakePlatform::attributes(const std::string& path) {
    ++attributeReads;
    return lookUp(volumeAttributes, path);
}

std::optional<std::string> FakePlatform::readFile(const std::string& path) {
    return versionFiles.contains(path) ? std::optional(path) : std::nullopt;
}

std::optional<platform::PropertyList> FakePlatform::decodePropertyList(const std::string& data) {
    return lookUp(versionFiles, data).value_or(std::nullopt);
}

void FakePlatform::addVolume(const std::string& path, std::optional<std::string> name,
                             std::optional<std::string> uuid, const std::string& version) {
    volumeAttributes[path] = {true, true, true, std::move(name), std::move(uuid)};
    versionFiles[(path == "/" ? "" : path) + "/System/Library/CoreServices/SystemVersion.plist"] =
        platform::PropertyList{true, {{"ProductName", "macOS"}, {"ProductVersion", version}}};
}

std::optional<platform::ScriptExecution> FakePlatform::execute(const std::string& source) {
    calls.push_back("execute " + source);
    whileScriptRuns();
    return scriptOutcome;
}

bool FakePlatform::requestRestart() {
    calls.push_back("requestRestart");
    return restartAnswered;
}

} // namespace kavelin::fake
