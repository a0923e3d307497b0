#include "fake_platform.h"
#include "platform/native_services.h"

namespace kavelin::fake {

platform::TextService& realTextService() {
    return platform::nativeTextService();
}

} // namespace kavelin::fake
