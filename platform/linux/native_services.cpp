// The volume source that the listing and the menu use on Linux: one for the whole process, so
// that the mount table it holds is read again only when the kernel reports a change.

#include "platform/native_services.h"
#include "platform/linux/linux_volume_source.h"

namespace kavelin::platform {

VolumeSource& nativeVolumeSource() {
    static LinuxVolumeSource source;
    return source;
}

} // namespace kavelin::platform
