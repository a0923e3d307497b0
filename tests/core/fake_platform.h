#pragma once

// One recording fake for every platform service, each call appended to one log: "activate",
// "alert Démarrer sur « Data » | …", … Its text service is the backend's real one.

#include <deque>
#include <functional>
#include <map>
#include <set>

#include "platform/native_services.h"
#include "platform/platform.h"

namespace kavelin::fake {

using Calls = std::vector<std::string>;
using platform::Image;

template <typename Map>
std::optional<typename Map::mapped_type> lookUp(const Map& map, const std::string& key) {
    auto found = map.find(key);
    return found == map.end() ? std::nullopt : std::optional(found->second);
}

// The status item and its button in one, owned by the application under test.
struct FakeStatusItem : platform::StatusItem, platform::StatusButton {
    platform::StatusButton* button() override { return this; }
    void setImage(const Image* i) override { image = i ? std::optional(*i) : std::nullopt; }
    void setToolTip(const std::string& text) override { toolTip = text; }
    void setMenu(std::shared_ptr<platform::Menu> m, platform::MenuDelegate* d) override {
        menu = std::move(m);
        delegate = d;
    }
    std::optional<Image> image;
    std::optional<std::string> toolTip;
    std::shared_ptr<platform::Menu> menu;
    platform::MenuDelegate* delegate = nullptr;
};

// clang-format off
class FakePlatform : public platform::Application, public platform::StatusBar,
                     public platform::Images, public platform::Alerts, public platform::Workspace,
                     public platform::LoginItemService, public platform::VolumeSource,
                     public platform::ScriptRunner, public platform::RestartRequester {
public:
    Calls calls;
    platform::Platform platform{*this, *this, *this, *this, *this, *this, *this,
                                platform::nativeTextService(), *this, *this};
    // clang-format on

    // Records the call and returns its answer.
    template <typename Answer> Answer log(const std::string& call, Answer answer) {
        calls.push_back(call);
        return answer;
    }

    void setActivationPolicyAccessory() override { log("setActivationPolicy accessory", 0); }
    void setDelegate(platform::ApplicationDelegate* d) override {
        delegate = log("setDelegate", d);
    }
    int run() override { // finishes launching, then runs whileRunning
        log("run", delegate)->applicationDidFinishLaunching();
        whileRunning();
        return 0;
    }
    void terminate() override { log("terminate", 0); }
    void activateIgnoringOtherApps() override { log("activate", 0); }
    platform::ApplicationDelegate* delegate = nullptr;
    std::function<void()> whileRunning = [] {};

    std::unique_ptr<platform::StatusItem> statusItemWithLength(double length) override {
        statusItemLength = log("statusItem", length);
        auto item = std::make_unique<FakeStatusItem>();
        statusItem = item.get();
        return item;
    }
    double statusItemLength = 0;
    FakeStatusItem* statusItem = nullptr;

    // The icon resource, when there is one, loads from any path; every symbol exists.
    std::optional<std::string> pathForResource(const std::string& name,
                                               const std::string& type) override {
        return name + "." + type == "MenuIcon.png" ? iconPath : std::nullopt;
    }
    std::optional<Image> imageWithContentsOfFile(const std::string& path) override {
        return Image{Image::Kind::file, path, 0, 0, {}};
    }
    std::optional<Image> systemSymbol(const std::string& name,
                                      const std::optional<std::string>& d) override {
        return Image{Image::Kind::symbol, name, 0, 0, d};
    }
    std::optional<std::string> iconPath;

    // Logs the alert as its message, its detail, then each button with its key equivalent in
    // brackets when one was set.
    int runModal(const platform::Alert& alert) override {
        std::string call = "alert " + alert.messageText + " | " + alert.informativeText;
        for (const auto& b : alert.buttons)
            call += " | " + b.title + (b.keyEquivalent ? " [" + *b.keyEquivalent + "]" : "");
        calls.push_back(call);
        return answer(alert);
    }
    std::function<int(const platform::Alert&)> answer = [](auto&) { return 1000; };

    bool openURL(const std::string& url) override {
        return log("openURL " + url, openable.contains(url));
    }
    std::set<std::string> openable;

    int status() override { // each read takes the next of statuses; the last one stays
        const int value = statuses.front();
        if (statuses.size() > 1)
            statuses.pop_front();
        return log("status " + std::to_string(value), value);
    }
    std::optional<std::string> registerItem() override { return log("register", loginError); }
    std::optional<std::string> unregisterItem() override { return log("unregister", loginError); }
    void openSystemSettingsLoginItems() override { log("openLoginItemsSettings", 0); }
    std::deque<int> statuses{0};
    std::optional<std::string> loginError; // of register and unregister alike

    std::optional<std::vector<std::string>> mountedVolumePaths() override { return mounts; }
    std::optional<std::vector<std::string>> directoryEntries(const std::string& path) override {
        return lookUp(directories, path);
    }
    std::string resolvingSymlinks(const std::string& path) override {
        return lookUp(links, path).value_or(path);
    }
    std::optional<platform::VolumeAttributes> attributes(const std::string& path) override {
        ++attributeReads;
        return lookUp(volumeAttributes, path);
    }
    // A file's contents are its own path, which decodes as versionFiles says.
    std::optional<std::string> readFile(const std::string& path) override {
        return versionFiles.contains(path) ? std::optional(path) : std::nullopt;
    }
    std::string volumeKey(const std::string& path) override {
        return keyOf ? keyOf(path) : VolumeSource::volumeKey(path);
    }
    std::function<std::string(const std::string&)> keyOf; // the source's own keys, if any
    std::optional<platform::PropertyList> decodePropertyList(const std::string& data) override {
        return lookUp(versionFiles, data).value_or(std::nullopt);
    }
    // A browsable local volume whose version file holds this "ProductVersion".
    void addVolume(const std::string& path, std::optional<std::string> name,
                   std::optional<std::string> uuid, const std::string& version) {
        volumeAttributes[path] = {true, true, true, std::move(name), std::move(uuid)};
        versionFiles[(path == "/" ? "" : path) +
                     "/System/Library/CoreServices/SystemVersion.plist"] =
            platform::PropertyList{true, {{"ProductName", "macOS"}, {"ProductVersion", version}}};
    }
    std::optional<std::vector<std::string>> mounts = std::vector<std::string>{};
    std::map<std::string, std::vector<std::string>> directories;
    std::map<std::string, std::string> links; // path -> resolved path
    std::map<std::string, platform::VolumeAttributes> volumeAttributes;
    std::map<std::string, std::optional<platform::PropertyList>> versionFiles;
    int attributeReads = 0;

    std::optional<platform::ScriptExecution> execute(const std::string& source) override {
        log("execute " + source, 0);
        whileScriptRuns();
        return scriptOutcome;
    }
    std::optional<platform::ScriptExecution> scriptOutcome = platform::ScriptExecution{true, {}};
    std::function<void()> whileScriptRuns = [] {};

    bool requestRestart() override { return log("requestRestart", restartAnswered); }
    bool restartAnswered = true;
};

} // namespace kavelin::fake
