// One opening of the status menu as the tray application does it: the delegate's rebuild (a
// volume discovery over ten volumes, the login item status) and the rendering into the QMenu.
// The volumes live in memory, but their version files go through the real property-list
// decoder, and the text service, login item service and widgets are the program's own.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <filesystem>
#include <malloc.h>
#include <map>
#include <unistd.h>

#include "app/kavelin.h"
#include "gio_workspace.h"
#include "platform/linux/dbus_restart_requester.h"
#include "platform/linux/pkexec_script_runner.h"
#include "platform/linux/xdg_login_items.h"
#include "platform/native_services.h"
#include "qt_services.h"

namespace kavelin::platform {
namespace {

constexpr const char* versionFile = "/System/Library/CoreServices/SystemVersion.plist";

std::string versionPlist(const std::string& version) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>\n"
           "\t<key>ProductBuildVersion</key>\n\t<string>23F79</string>\n"
           "\t<key>ProductName</key>\n\t<string>macOS</string>\n"
           "\t<key>ProductVersion</key>\n\t<string>" +
           version + "</string>\n</dict>\n</plist>\n";
}

// Ten mounted startup volumes: the running system at "/" and nine disks under /Volumes.
class TenVolumes final : public VolumeSource {
public:
    TenVolumes() {
        add("/", "Macintosh HD", "14.5");
        for (int i = 1; i < 10; ++i)
            add("/Volumes/Disque " + std::to_string(i), "Disque " + std::to_string(i),
                "1" + std::to_string(i % 4 + 2) + ".0");
    }
    std::optional<std::vector<std::string>> mountedVolumePaths() override { return mounts; }
    std::optional<std::vector<std::string>> directoryEntries(const std::string& path) override {
        if (path != "/Volumes")
            return std::nullopt;
        return std::vector<std::string>(mounts.begin() + 1, mounts.end());
    }
    std::string resolvingSymlinks(const std::string& path) override { return path; }
    std::optional<VolumeAttributes> attributes(const std::string& path) override {
        auto found = volumes.find(path);
        if (found == volumes.end())
            return std::nullopt;
        return found->second;
    }
    std::optional<std::string> readFile(const std::string& path) override {
        auto found = files.find(path);
        if (found == files.end())
            return std::nullopt;
        return found->second;
    }
    std::optional<PropertyList> decodePropertyList(const std::string& data) override {
        return nativeVolumeSource().decodePropertyList(data);
    }

private:
    void add(const std::string& path, const std::string& name, const std::string& version) {
        mounts.push_back(path);
        volumes[path] = {true, true, true, name, "UUID-" + name};
        files[(path == "/" ? "" : path) + versionFile] = versionPlist(version);
    }
    std::vector<std::string> mounts;
    std::map<std::string, VolumeAttributes> volumes;
    std::map<std::string, std::string> files;
};

// The Qt status bar, keeping hold of the item it gives out so that its menu can be opened.
class KeptStatusBar final : public StatusBar {
public:
    std::unique_ptr<StatusItem> statusItemWithLength(double length) override {
        auto item = bar.statusItemWithLength(length);
        last = static_cast<QtStatusItem*>(item.get());
        return item;
    }
    QtStatusBar bar;
    QtStatusItem* last = nullptr;
};

// The program's services over ten volumes, its Kavelin launched and its status item made.
struct TrayApplication {
    TrayApplication()
        : config(std::filesystem::temp_directory_path() /
                 ("kavelin-bench-" + std::to_string(getpid()))),
          application(*qApp), loginItems(config.string(), {"/etc/xdg"}, "/usr/bin/kavelin"),
          platform{application, statusBar,           images,  alerts, workspace, loginItems,
                   volumes,     nativeTextService(), scripts, restart},
          kavelin(platform) {
        kavelin.applicationDidFinishLaunching();
    }
    ~TrayApplication() { std::filesystem::remove_all(config); }
    QMenu& menu() { return *statusBar.last->renderedMenu(); }

    std::filesystem::path config;
    QtApplication application;
    KeptStatusBar statusBar;
    QtImages images;
    QtAlerts alerts;
    GioWorkspace workspace;
    XdgLoginItems loginItems;
    TenVolumes volumes;
    PkexecScriptRunner scripts;
    DbusRestartRequester restart;
    Platform platform;
    Kavelin kavelin;
};

void menuOpening(benchmark::State& state) {
    TrayApplication tray;
    // The menu opens as on a click: aboutToShow runs the delegate's rebuild, then the rendering.
    for (auto _ : state) {
        emit tray.menu().aboutToShow();
        benchmark::DoNotOptimize(tray.menu().actions().size());
    }
    if (tray.menu().actions().size() != 16)
        state.SkipWithError("the menu does not hold the ten volumes");
}

// The heap that stays allocated after each opening, events delivered between openings as the
// event loop would; zero once the caches have filled. Run it in a session with a tray host
// (bench/qt/tray_session.sh), where the menu is exported to the host, to see that path too.
void menuOpeningHeap(benchmark::State& state) {
    TrayApplication tray;
    for (int i = 0; i < 200; ++i) { // the first openings fill the caches of icons and fonts
        emit tray.menu().aboutToShow();
        QCoreApplication::processEvents();
    }
    const size_t before = mallinfo2().uordblks;
    for (auto _ : state) {
        emit tray.menu().aboutToShow();
        QCoreApplication::processEvents();
    }
    const double grown = double(mallinfo2().uordblks) - double(before);
    state.counters["heap_B_per_opening"] = grown / double(state.iterations());
}
BENCHMARK(menuOpening)->Unit(benchmark::kMicrosecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(menuOpeningHeap)->Unit(benchmark::kMicrosecond)->Iterations(5000);

} // namespace
} // namespace kavelin::platform

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
