// URL opening over GIO's default-handler launch. Not supported: knowing whether the handler then
// showed the URL.
#include "gio_workspace.h"

#include <gio/gio.h>

#include "platform/trace.h"

namespace kavelin::platform {

bool GioWorkspace::openURL(const std::string& url) {
    GError* error = nullptr;
    gboolean opened = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
    if (error) {
        trace("url", url + " : " + error->message);
        g_error_free(error);
    } else if (!opened) {
        trace("url", url + " : aucun programme ne l’ouvre");
    }
    return opened;
}

} // namespace kavelin::platform
