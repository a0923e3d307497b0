// Discovery cost against the number of mounts (a synthetic source: the core alone), and the
// real discovery of this machine.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <unordered_map>

#include "platform/native_services.h"
#include "volumes/startup_volume.h"

namespace kavelin {
namespace {

// N mounted volumes under /Volumes, each also listed as an entry of /Volumes, every one with a
// version file; half of them report a UUID. Answers come from hash maps, so that what grows is
// the discovery's own work.
class SyntheticVolumeSource : public platform::VolumeSource {
public:
    explicit SyntheticVolumeSource(int count) {
        volumes_.push_back("/");
        attributes_["/"] = {true, true, false, "Macintosh HD", "ROOT-UUID"};
        for (int i = 0; i < count; ++i) {
            // Names in a scrambled order, with numbers, so that the sort has work to do.
            int n = (i * 7919) % count;
            std::string name = (n % 3 == 0   ? "data "
                                : n % 3 == 1 ? "Data "
                                             : "Disque ") +
                               std::to_string(n);
            std::string path = "/Volumes/" + name;
            volumes_.push_back(path);
            std::optional<std::string> uuid;
            if (i % 2 == 0)
                uuid = "UUID-" + std::to_string(i);
            attributes_[path] = {true, true, true, name, uuid};
        }
    }
    std::optional<std::vector<std::string>> mountedVolumePaths() override { return volumes_; }
    std::optional<std::vector<std::string>> directoryEntries(const std::string&) override {
        return std::vector<std::string>(volumes_.begin() + 1, volumes_.end());
    }
    std::string resolvingSymlinks(const std::string& path) override { return path; }
    std::optional<platform::VolumeAttributes> attributes(const std::string& path) override {
        auto found = attributes_.find(path);
        if (found == attributes_.end())
            return std::nullopt;
        return found->second;
    }
    std::optional<std::string> readFile(const std::string&) override { return "version"; }
    std::optional<platform::PropertyList> decodePropertyList(const std::string&) override {
        return platform::PropertyList{true, {{"ProductName", "macOS"}, {"ProductVersion", "14.1"}}};
    }

private:
    std::vector<std::string> volumes_;
    std::unordered_map<std::string, platform::VolumeAttributes> attributes_;
};

void syntheticDiscovery(benchmark::State& state) {
    SyntheticVolumeSource source(static_cast<int>(state.range(0)));
    auto& text = platform::nativeTextService();
    std::size_t found = 0;
    for (auto _ : state)
        found = StartupVolume::mounted(source, text).size();
    state.counters["volumes"] = static_cast<double>(found);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(syntheticDiscovery)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

void realDiscovery(benchmark::State& state) {
    std::size_t found = 0;
    for (auto _ : state)
        found =
            StartupVolume::mounted(platform::nativeVolumeSource(), platform::nativeTextService())
                .size();
    state.counters["volumes"] = static_cast<double>(found);
}
BENCHMARK(realDiscovery)->Unit(benchmark::kMicrosecond);

// The mount-table side alone: list, resolve and read the attributes of every mount.
void realMountAttributes(benchmark::State& state) {
    auto& source = platform::nativeVolumeSource();
    std::size_t mounts = 0;
    for (auto _ : state) {
        auto paths = source.mountedVolumePaths().value_or(std::vector<std::string>{});
        for (auto& path : paths)
            benchmark::DoNotOptimize(source.attributes(source.resolvingSymlinks(path)));
        mounts = paths.size();
    }
    state.counters["mounts"] = static_cast<double>(mounts);
}
BENCHMARK(realMountAttributes)->Unit(benchmark::kMicrosecond);

// A link to a folder N levels deep: one walk, so the cost grows with N, not with its square.
void deepLinkResolve(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("kavelin-deep-" + std::to_string(getpid()));
    fs::path deep = root;
    for (int level = 0; level < state.range(0); ++level)
        deep /= "d";
    fs::create_directories(deep);
    fs::create_symlink(deep, root / "link");
    auto& source = platform::nativeVolumeSource();
    for (auto _ : state)
        benchmark::DoNotOptimize(source.resolvingSymlinks((root / "link/.").string()));
    state.SetComplexityN(state.range(0));
    fs::remove_all(root);
}
BENCHMARK(deepLinkResolve)
    ->Arg(50)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

} // namespace
} // namespace kavelin
