#pragma once

namespace kavelin::platform {

// Starts the menu-bar application: builds the backend's services, then runs the application
// start. Its exit status; non-zero with one line on standard error when it cannot start.
int startApplication(int argc, char** argv);

} // namespace kavelin::platform
