#include "fake_platform.h"

namespace kavelin::fake {

platform::TextService& realTextService() { return platform::nativeTextService(); }

} // namespace kavelin::fake
