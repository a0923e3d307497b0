// The privileged command without a shell: the bless command line read back into its argument
// vector, and what crosses pkexec to the root-side helper, which blesses a volume only if it is
// still the one the user approved. Supported: the one command form the application builds. Not
// supported: any other command.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavelin::platform {

inline constexpr const char* blessProgram = "/usr/sbin/bless";

// What bless is asked to do.
struct BlessRequest {
    std::string path;
    bool nextOnly = false;
    bool operator==(const BlessRequest&) const = default;
};

// The path and option of "/usr/sbin/bless --mount 'PATH' --setBoot[ --nextonly] </dev/null";
// nullopt for any other text, so that one request has exactly one accepted command line.
std::optional<BlessRequest> decodeBlessCommand(std::string_view command);

// bless's arguments after its own name: --mount PATH --setBoot [--nextonly].
std::vector<std::string> blessArguments(const BlessRequest& request);

// The mounted file system at a path, as the kernel and the volume itself tell it.
struct MountIdentity {
    dev_t device = 0;
    // Never reused while the system runs where the kernel offers such an id (Linux 6.8 on).
    std::uint64_t mountId = 0;
    std::optional<std::string> uuid;
    bool operator==(const MountIdentity&) const = default;
};

// The identity of the file system whose root is exactly path (absolute, no symbolic link on the
// way, "." or ".." nowhere); nullopt when path is anything else. why receives the reason.
std::optional<MountIdentity> mountIdentity(const std::string& path, std::string* why = nullptr);

// The helper's arguments after its own name:
//   --device MAJOR:MINOR --mount-id ID --uuid UUID-or-empty --mount PATH --setBoot [--nextonly]
std::vector<std::string> helperArguments(const MountIdentity& approved,
                                         const BlessRequest& request);

struct HelperRequest {
    MountIdentity approved;
    BlessRequest request;
};

// The inverse of helperArguments; nullopt for anything else.
std::optional<HelperRequest> parseHelperArguments(const std::vector<std::string>& arguments);

// Exit statuses of the helper besides bless's own.
inline constexpr int helperUsageError = 2;
inline constexpr int helperVolumeChanged = 3;
inline constexpr int helperBlessNotStarted = 127;

} // namespace kavelin::platform
