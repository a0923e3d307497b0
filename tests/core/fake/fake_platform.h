#pragma once

// One recording fake for every platform service. Each call is appended to one log, so that a
// test reads as what happened, in order: "activate", "alert Démarrer sur « Data »", ...

#include <deque>
#include <functional>
#include <map>
#include <set>

#include "platform/platform.h"

namespace kavelin::fake {

using Calls = std::vector<std::string>;

// The status item and its button in one, owned by the application under test.
struct FakeStatusItem : platform::StatusItem, platform::StatusButton {
    explicit FakeStatusItem(bool hasButton) : hasButton(hasButton) {}
    platform::StatusButton* button() override { return hasButton ? this : nullptr; }
    void setImage(const platform::Image* i) override {
        image = i ? std::optional(*i) : std::nullopt;
    }
    void setToolTip(const std::string& text) override { toolTip = text; }
    void setMenu(std::shared_ptr<platform::Menu> m, platform::MenuDelegate* d) override {
        menu = std::move(m);
        delegate = d;
    }
    bool hasButton;
    std::optional<platform::Image> image;
    std::optional<std::string> toolTip;
    std::shared_ptr<platform::Menu> menu;
    platform::MenuDelegate* delegate = nullptr;
};

class FakePlatform : public platform::Application,
                     public platform::StatusBar,
                     public platform::Images,
                     public platform::Alerts,
                     public platform::Workspace,
                     public platform::LoginItemService,
                     public platform::VolumeSource,
                     public platform::ScriptRunner,
                     public platform::RestartRequester {
public:
    Calls calls;
    Calls callsStartingWith(const std::string& prefix) const;

    void setActivationPolicyAccessory() override {
        calls.push_back("setActivationPolicy accessory");
    }
    void setDelegate(platform::ApplicationDelegate* d) override;
    int run() override; // finishes launching, then runs whileRunning
    void terminate() override { calls.push_back("terminate"); }
    void activateIgnoringOtherApps() override { calls.push_back("activate"); }
    platform::ApplicationDelegate* delegate = nullptr;
    std::function<void()> whileRunning = [] {};

    std::unique_ptr<platform::StatusItem> statusItemWithLength(double length) override;
    bool giveButtons = true;
    double statusItemLength = 0;
    FakeStatusItem* statusItem = nullptr;

    std::optional<std::string> pathForResource(const std::string& name,
                                               const std::string& extension) override;
    std::optional<platform::Image> imageWithContentsOfFile(const std::string& path) override;
    std::optional<platform::Image> systemSymbol(const std::string& name,
                                                const std::optional<std::string>& d) override;
    std::map<std::string, std::string> resources; // "MenuIcon.png" -> path
    std::set<std::string> loadableFiles, symbols{"internaldrive"};

    int runModal(const platform::Alert& alert) override; // recorded as "alert <message>"
    std::vector<platform::Alert> alerts;
    std::deque<int> answers; // used first; then answer(alert)
    std::function<int(const platform::Alert&)> answer = [](auto&) { return 1000; };

    bool openURL(const std::string& url) override;
    std::set<std::string> openable;

    int status() override; // each read takes the next of statuses; the last one stays
    std::optional<std::string> registerItem() override;
    std::optional<std::string> unregisterItem() override;
    void openSystemSettingsLoginItems() override { calls.push_back("openLoginItemsSettings"); }
    std::deque<int> statuses{0};
    std::optional<std::string> loginError; // of register and unregister alike

    std::optional<std::vector<std::string>> mountedVolumePaths() override { return mounts; }
    std::optional<std::vector<std::string>> directoryEntries(const std::string& path) override;
    std::string resolvingSymlinks(const std::string& path) override;
    std::optional<platform::VolumeAttributes> attributes(const std::string& path) override;
    // A file's contents are its own path, which decodes as versionFiles says.
    std::optional<std::string> readFile(const std::string& path) override;
    std::optional<platform::PropertyList> decodePropertyList(const std::string& data) override;
    // A browsable local volume whose version file holds this "ProductVersion".
    void addVolume(const std::string& path, std::optional<std::string> name,
                   std::optional<std::string> uuid, const std::string& version);
    std::optional<std::vector<std::string>> mounts = std::vector<std::string>{};
    std::map<std::string, std::vector<std::string>> directories;
    std::map<std::string, std::string> links; // path -> resolved path
    std::map<std::string, platform::VolumeAttributes> volumeAttributes;
    std::map<std::string, std::optional<platform::PropertyList>> versionFiles;
    int attributeReads = 0;

    std::optional<platform::ScriptExecution> execute(const std::string& source) override;
    std::optional<platform::ScriptExecution> scriptOutcome = platform::ScriptExecution{true, {}};
    std::function<void()> whileScriptRuns = [] {};

    bool requestRestart() override;
    bool restartAnswered = true;

    platform::Platform platform;
    FakePlatform();
};

} // namespace kavelin::fake
