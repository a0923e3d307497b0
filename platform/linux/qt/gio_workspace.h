// URL opening over GIO: the desktop's default handler of the URL's scheme (or of the file's
// type, for a file URL) is looked up and launched. Not supported: telling whether the launched
// handler then managed to show the URL; a handler that started counts as opened.
#pragma once

#include "platform/workspace.h"

namespace kavelin::platform {

class GioWorkspace final : public Workspace {
public:
    // NOTE: not QDesktopServices, which answers true under X11 as soon as a detached xdg-open
    // has started, handler or not.
    bool openURL(const std::string& url) override;
};

} // namespace kavelin::platform
