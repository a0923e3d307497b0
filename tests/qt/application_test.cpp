// The program as a user starts it: the listing never loads Qt, application mode without a
// display says so in one line, and under Xvfb with a tray host the icon docks, a click opens
// the menu and its Quit item ends the process with status 0.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path program() {
    const char* build = std::getenv("KAVELIN_BUILD_DIR");
    return fs::path(build ? build : ".") / "kavelin";
}

// The environment of this process, with the given variables replaced or (empty value) removed.
std::vector<std::string>
environment(const std::vector<std::pair<std::string, std::string>>& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        std::string variable = *entry;
        std::string name = variable.substr(0, variable.find('='));
        bool changed = false;
        for (const auto& change : changes)
            changed = changed || change.first == name;
        if (!changed)
            result.push_back(variable);
    }
    for (const auto& [name, value] : changes)
        if (!value.empty())
            result.push_back(name + "=" + value);
    return result;
}

struct Process {
    pid_t pid = -1;
    int output = -1; // read end of stdout and stderr together, or -1
};

// Starts argv with env; its stdout and stderr go to a pipe when captured, else to /dev/null.
// keepFd stays open in the child (for Xvfb's -displayfd).
Process spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              bool capture, int keepFd = -1) {
    int pipeFds[2] = {-1, -1};
    if (capture && pipe2(pipeFds, O_CLOEXEC) != 0)
        return {};
    pid_t pid = fork();
    if (pid == 0) {
        int out = capture ? pipeFds[1] : open("/dev/null", O_WRONLY);
        dup2(out, 1);
        dup2(out, 2);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        if (keepFd >= 0)
            fcntl(keepFd, F_SETFD, 0);
        std::vector<char*> args, envp;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    if (capture)
        close(pipeFds[1]);
    return {pid, capture ? pipeFds[0] : -1};
}

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, n);
    close(fd);
    return text;
}

// The exit status, or nullopt when the process is still running after the timeout.
std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

struct Outcome {
    int status;
    std::string output;
};

Outcome run(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    Process p = spawn(argv, env, true);
    std::string output = readAll(p.output);
    auto status = waitFor(p.pid, 30s);
    return {status.value_or(-1), output};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

TEST(Listing, LoadsNoQtLibrary) {
    Outcome listing = run({program(), "--list-volumes"}, environment({{"LD_DEBUG", "libs"}}));
    EXPECT_EQ(listing.status, 0);
    ASSERT_NE(listing.output.find("calling init"), std::string::npos)
        << "the loader reports nothing: LD_DEBUG had no effect";
    EXPECT_EQ(listing.output.find("libQt6"), std::string::npos);
    EXPECT_EQ(listing.output.find("kavelin-qt"), std::string::npos);

    // The same check does see Qt once application mode loads the module.
    Outcome application = run({program()}, environment({{"LD_DEBUG", "libs"},
                                                        {"DISPLAY", ""},
                                                        {"WAYLAND_DISPLAY", ""},
                                                        {"QT_QPA_PLATFORM", ""}}));
    EXPECT_NE(application.output.find("libQt6Widgets"), std::string::npos);
}

struct NoSessionCase {
    const char* story;
    std::vector<std::pair<std::string, std::string>> env;
    const char* says;
};

void PrintTo(const NoSessionCase& c, std::ostream* os) {
    *os << c.story;
}

class WithoutGraphicalSession : public testing::TestWithParam<NoSessionCase> {};

TEST_P(WithoutGraphicalSession, SaysSoInOneFrenchLineAndFails) {
    auto env = GetParam().env;
    env.push_back({"XDG_CONFIG_HOME", "/nonexistent"});
    Outcome result = run({program()}, environment(env));
    EXPECT_EQ(result.status, 1) << result.output;
    auto said = lines(result.output);
    ASSERT_EQ(said.size(), 1u) << result.output;
    EXPECT_NE(said[0].find(GetParam().says), std::string::npos) << said[0];
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, WithoutGraphicalSession,
    testing::Values(
        NoSessionCase{"no display at all",
                      {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}},
                      "aucune session graphique"},
        NoSessionCase{"a display nobody serves",
                      {{"DISPLAY", ":9876"}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}},
                      "impossible d\u2019ouvrir la session graphique"}));

bool installed(const char* tool) {
    return run({"sh", "-c", std::string("command -v ") + tool}, environment({})).status == 0;
}

// An X server with a tray host, and whatever the test starts on it; all stopped at the end.
class TraySession : public testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "trayer", "xdotool", "xwininfo"})
            if (!installed(tool))
                GTEST_SKIP() << tool
                             << " is not installed (packages xvfb, trayer, xdotool, x11-utils)";
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        xvfb = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "800x600x24",
                      "-nolisten", "tcp"},
                     environment({}), false, fds[1]);
        close(fds[1]);
        pollfd ready{fds[0], POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, 10000), 1) << "Xvfb did not start";
        display = ":" + std::to_string(std::stoi(readAll(fds[0])));
        trayer = spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                        "--height", "24", "--SetDockType", "true", "--transparent", "false"},
                       x({}), false);
        ASSERT_TRUE(eventually([&] { return !panelId().empty(); })) << "trayer shows no panel";
    }
    void TearDown() override {
        for (pid_t pid : {app.pid, trayer.pid, xvfb.pid})
            if (pid > 0 && !waitFor(pid, 0ms)) {
                kill(pid, SIGTERM);
                waitFor(pid, 5s);
            }
    }

    std::vector<std::string> x(std::vector<std::pair<std::string, std::string>> changes) {
        changes.push_back({"DISPLAY", display});
        changes.push_back({"WAYLAND_DISPLAY", ""});
        return environment(changes);
    }
    std::string tool(const std::vector<std::string>& argv) { return run(argv, x({})).output; }

    static bool eventually(const std::function<bool()>& condition) {
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (condition())
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    std::string panelId() {
        std::smatch m;
        std::string tree = tool({"xwininfo", "-root", "-children"});
        static const std::regex panel(R"((0x[0-9a-f]+) "panel": \("panel" "trayer"\))");
        return std::regex_search(tree, m, panel) ? m[1].str() : "";
    }

    // Absolute centre of the program's icon docked in the panel; nullopt while not docked.
    std::optional<std::pair<int, int>> dockedIcon() {
        std::string tree = tool({"xwininfo", "-tree", "-id", panelId()});
        static const std::regex icon(
            R"("Kavelin": \("kavelin" "kavelin"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))");
        std::smatch m;
        if (!std::regex_search(tree, m, icon))
            return std::nullopt;
        return std::pair{std::stoi(m[3]) + std::stoi(m[1]) / 2,
                         std::stoi(m[4]) + std::stoi(m[2]) / 2};
    }

    // A viewable top-level window of the program as wide as a menu.
    bool menuShown() {
        for (const auto& id :
             lines(tool({"xdotool", "search", "--onlyvisible", "--classname", "kavelin"}))) {
            std::string info = tool({"xwininfo", "-id", id});
            std::smatch m;
            static const std::regex width(R"(Width: (\d+))");
            if (info.find("IsViewable") != std::string::npos && std::regex_search(info, m, width) &&
                std::stoi(m[1]) >= 100)
                return true;
        }
        return false;
    }

    std::string display;
    Process xvfb, trayer, app;
};

TEST_F(TraySession, IconDocksClickOpensTheMenuAndQuitEndsWithStatusZero) {
    fs::path config = fs::temp_directory_path() / ("kavelin-e2e-" + std::to_string(getpid()));
    app = spawn({program()}, x({{"QT_QPA_PLATFORM", "xcb"}, {"XDG_CONFIG_HOME", config}}), false);

    std::optional<std::pair<int, int>> icon;
    ASSERT_TRUE(eventually([&] { return (icon = dockedIcon()).has_value(); }))
        << "the icon was not embedded in the tray";
    EXPECT_FALSE(menuShown());

    tool({"xdotool", "mousemove", std::to_string(icon->first), std::to_string(icon->second),
          "click", "1"});
    ASSERT_TRUE(eventually([&] { return menuShown(); })) << "a click did not open the menu";

    // With the pointer off the menu and no item active, Up wraps round to the last item,
    // "Quitter Kavelin".
    tool({"xdotool", "mousemove", "10", "500"});
    tool({"xdotool", "key", "Up"});
    std::this_thread::sleep_for(200ms);
    tool({"xdotool", "key", "Return"});
    auto status = waitFor(app.pid, 10s);
    ASSERT_TRUE(status.has_value()) << "the program is still running after Quit";
    EXPECT_EQ(*status, 0);
    app.pid = -1;
    fs::remove_all(config);
}

} // namespace
