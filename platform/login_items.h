#pragma once

#include <optional>
#include <string>

namespace kavelin::platform {

// Raw status values of the login item service.
inline constexpr int loginItemNotRegistered = 0;
inline constexpr int loginItemEnabled = 1;
inline constexpr int loginItemRequiresApproval = 2;
inline constexpr int loginItemNotFound = 3;

// The login item service of the running application itself.
class LoginItemService {
public:
    virtual ~LoginItemService() = default;
    // The current status, read fresh at each call; one of the values above (others possible).
    virtual int status() = 0;
    // Registers the application; nullopt on success, else a user-readable error sentence.
    virtual std::optional<std::string> registerItem() = 0;
    // Unregisters the application; nullopt on success, else a user-readable error sentence.
    virtual std::optional<std::string> unregisterItem() = 0;
    // Opens the platform's login items settings. No result.
    virtual void openSystemSettingsLoginItems() = 0;
};

} // namespace kavelin::platform
