#pragma once

// A recording fake of every platform service. Each call is appended to one story log, so that a
// test reads as what happened, in order: "activate", "alert Démarrer sur « Data »", ...

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kavelin::fake {

struct Story {
    std::vector<std::string> events;
    void record(std::string event) { events.push_back(std::move(event)); }
    // Events whose text starts with prefix, in order.
    std::vector<std::string> matching(const std::string& prefix) const;
};

class FakeApplication : public platform::Application {
public:
    explicit FakeApplication(Story& story) : story(story) {}
    void setActivationPolicyAccessory() override { story.record("setActivationPolicy accessory"); }
    void setDelegate(platform::ApplicationDelegate* d) override;
    int run() override;
    void terminate() override { story.record("terminate"); }
    void activateIgnoringOtherApps() override { story.record("activate"); }

    platform::ApplicationDelegate* delegate = nullptr;
    // What run() does once launching has finished; by default nothing.
    std::function<void()> whileRunning;

private:
    Story& story;
};

class FakeStatusButton : public platform::StatusButton {
public:
    void setImage(const platform::Image* i) override {
        image = i ? std::optional(*i) : std::nullopt;
    }
    void setToolTip(const std::string& t) override { toolTip = t; }
    std::optional<platform::Image> image;
    std::optional<std::string> toolTip;
};

class FakeStatusItem : public platform::StatusItem {
public:
    FakeStatusItem(bool withButton) : hasButton(withButton) {}
    platform::StatusButton* button() override { return hasButton ? &statusButton : nullptr; }
    void setMenu(std::shared_ptr<platform::Menu> m, platform::MenuDelegate* d) override {
        menu = std::move(m);
        delegate = d;
    }
    bool hasButton;
    FakeStatusButton statusButton;
    std::shared_ptr<platform::Menu> menu;
    platform::MenuDelegate* delegate = nullptr;
};

class FakeStatusBar : public platform::StatusBar {
public:
    explicit FakeStatusBar(Story& story) : story(story) {}
    std::unique_ptr<platform::StatusItem> statusItemWithLength(double length) override;
    bool giveButtons = true;
    FakeStatusItem* lastItem = nullptr; // owned by whoever asked for it
    double lastLength = 0;

private:
    Story& story;
};

class FakeImages : public platform::Images {
public:
    std::optional<std::string> pathForResource(const std::string& name,
                                               const std::string& extension) override;
    std::optional<platform::Image> imageWithContentsOfFile(const std::string& path) override;
    std::optional<platform::Image> systemSymbol(const std::string& name,
                                                const std::optional<std::string>& d) override;
    std::map<std::string, std::string> resources; // "MenuIcon.png" -> path
    std::set<std::string> loadableFiles;
    std::set<std::string> symbols{"internaldrive"};
};

// Answers alerts from a script of answers, or from a handler that may act while the alert is up.
class FakeAlerts : public platform::Alerts {
public:
    explicit FakeAlerts(Story& story) : story(story) {}
    int runModal(const platform::Alert& alert) override;
    std::deque<int> answers;                              // used first; 1000 when empty
    std::function<int(const platform::Alert&)> answering; // used when set and answers is empty
    std::vector<platform::Alert> shown;

private:
    Story& story;
};

class FakeWorkspace : public platform::Workspace {
public:
    explicit FakeWorkspace(Story& story) : story(story) {}
    bool openURL(const std::string& url) override {
        story.record("openURL " + url);
        return openable.contains(url);
    }
    std::set<std::string> openable;

private:
    Story& story;
};

class FakeLoginItems : public platform::LoginItemService {
public:
    explicit FakeLoginItems(Story& story) : story(story) {}
    int status() override;
    std::optional<std::string> registerItem() override;
    std::optional<std::string> unregisterItem() override;
    void openSystemSettingsLoginItems() override { story.record("openLoginItemsSettings"); }
    std::deque<int> statuses{0}; // each read takes the next; the last one stays
    std::optional<std::string> registerError;
    std::optional<std::string> unregisterError;

private:
    Story& story;
};

// Volumes kept in maps: mount table, directory listings, links, attributes and files by path.
class FakeVolumeSource : public platform::VolumeSource {
public:
    std::optional<std::vector<std::string>> mountedVolumePaths() override { return mounts; }
    std::optional<std::vector<std::string>> directoryEntries(const std::string& path) override;
    std::string resolvingSymlinks(const std::string& path) override;
    std::optional<platform::VolumeAttributes> attributes(const std::string& path) override;
    std::optional<std::string> readFile(const std::string& path) override;
    std::optional<platform::PropertyList> decodePropertyList(const std::string& data) override;

    // A volume with a version file whose "ProductVersion" is version.
    void addVolume(const std::string& path, std::optional<std::string> name,
                   std::optional<std::string> uuid, const std::string& version);

    std::optional<std::vector<std::string>> mounts = std::vector<std::string>{};
    std::map<std::string, std::vector<std::string>> directories;
    std::map<std::string, std::string> links; // path -> resolved path
    std::map<std::string, platform::VolumeAttributes> volumeAttributes;
    std::map<std::string, std::string> files;
    // Contents that decode to a property list; anything else fails to decode.
    std::map<std::string, platform::PropertyList> propertyLists;
    int attributeReads = 0;
};

// Canonical equivalence and ordering as the Linux backend provides them (ICU).
platform::TextService& realTextService();

class FakeScriptRunner : public platform::ScriptRunner {
public:
    explicit FakeScriptRunner(Story& story) : story(story) {}
    std::optional<platform::ScriptExecution> execute(const std::string& source) override {
        story.record("execute " + source);
        if (whileRunning)
            whileRunning();
        return outcome;
    }
    std::optional<platform::ScriptExecution> outcome = platform::ScriptExecution{true, {}};
    std::function<void()> whileRunning;

private:
    Story& story;
};

class FakeRestartRequester : public platform::RestartRequester {
public:
    explicit FakeRestartRequester(Story& story) : story(story) {}
    bool requestRestart() override {
        story.record("requestRestart");
        return answers;
    }
    bool answers = true;

private:
    Story& story;
};

// Every fake, wired into one Platform.
struct FakePlatform {
    Story story;
    FakeApplication application{story};
    FakeStatusBar statusBar{story};
    FakeImages images;
    FakeAlerts alerts{story};
    FakeWorkspace workspace{story};
    FakeLoginItems loginItems{story};
    FakeVolumeSource volumes;
    FakeScriptRunner scripts{story};
    FakeRestartRequester restart{story};
    platform::Platform platform{application, statusBar,  images,  alerts,
                                workspace,   loginItems, volumes, realTextService(),
                                scripts,     restart};
};

} // namespace kavelin::fake
