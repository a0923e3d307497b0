// The bless command line read back into an argument vector, and the helper's arguments: text
// only, nothing looked at.
#include "platform/linux/bless_invocation.h"

#include <sys/sysmacros.h>

#include <charconv>

namespace kavelin::platform {

namespace {

constexpr std::string_view commandPrefix = "/usr/sbin/bless --mount '";
constexpr std::string_view escapedQuote = "'\\''";
constexpr std::string_view setBoot = " --setBoot </dev/null";
constexpr std::string_view setBootNextOnly = " --setBoot --nextonly </dev/null";

template <typename Number> std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    if (text.empty() || text[0] == '+' || text[0] == '-')
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<dev_t> parseDevice(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto major = parseNumber<unsigned>(text.substr(0, colon));
    const auto minor = parseNumber<unsigned>(text.substr(colon + 1));
    if (!major || !minor)
        return std::nullopt;
    return makedev(*major, *minor);
}

} // namespace

std::optional<BlessRequest> decodeBlessCommand(std::string_view command) {
    if (!command.starts_with(commandPrefix))
        return std::nullopt;
    BlessRequest request;
    std::size_t at = commandPrefix.size();
    // Inside single quotes every character stands for itself; a quote ends the run, unless it
    // is the first of the four characters that stand for a quote in the path.
    for (;;) {
        if (at >= command.size() || command[at] == '\0')
            return std::nullopt;
        if (command[at] == '\'') {
            if (command.substr(at, escapedQuote.size()) != escapedQuote)
                break;
            request.path += '\'';
            at += escapedQuote.size();
        } else {
            request.path += command[at++];
        }
    }
    const auto rest = command.substr(at + 1);
    if (rest == setBootNextOnly)
        request.nextOnly = true;
    else if (rest != setBoot)
        return std::nullopt;
    return request;
}

std::vector<std::string> blessArguments(const BlessRequest& request) {
    std::vector<std::string> arguments{"--mount", request.path, "--setBoot"};
    if (request.nextOnly)
        arguments.emplace_back("--nextonly");
    return arguments;
}

std::vector<std::string> helperArguments(const MountIdentity& approved,
                                         const BlessRequest& request) {
    std::vector<std::string> arguments{
        "--device",
        std::to_string(major(approved.device)) + ":" + std::to_string(minor(approved.device)),
        "--mount-id",
        std::to_string(approved.mountId),
        "--uuid",
        approved.uuid.value_or("")};
    for (auto& argument : blessArguments(request))
        arguments.push_back(std::move(argument));
    return arguments;
}

std::optional<HelperRequest> parseHelperArguments(const std::vector<std::string>& arguments) {
    if ((arguments.size() != 9 && arguments.size() != 10) || arguments[0] != "--device" ||
        arguments[2] != "--mount-id" || arguments[4] != "--uuid" || arguments[6] != "--mount" ||
        arguments[8] != "--setBoot" || (arguments.size() == 10 && arguments[9] != "--nextonly"))
        return std::nullopt;
    const auto device = parseDevice(arguments[1]);
    const auto mountId = parseNumber<std::uint64_t>(arguments[3]);
    if (!device || !mountId || !arguments[7].starts_with('/'))
        return std::nullopt;
    HelperRequest parsed;
    parsed.approved = {*device, *mountId, std::nullopt};
    if (!arguments[5].empty())
        parsed.approved.uuid = arguments[5];
    parsed.request = {arguments[7], arguments.size() == 10};
    return parsed;
}

} // namespace kavelin::platform
