# Builds the macOS program on Linux: clang and lld from Debian against an Apple SDK.
#   KAVELIN_MACOS_SDK   the SDK folder (environment or cache), e.g. .../MacOSX.sdk
#   KAVELIN_MACOS_ARCH  arm64 or x86_64 (one architecture a build folder; lipo joins them)
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR ${KAVELIN_MACOS_ARCH})
# Darwin 22 is macOS 13.
set(CMAKE_SYSTEM_VERSION 22.0)

if(NOT KAVELIN_MACOS_SDK)
    set(KAVELIN_MACOS_SDK "$ENV{KAVELIN_MACOS_SDK}")
endif()
if(NOT IS_DIRECTORY "${KAVELIN_MACOS_SDK}")
    message(FATAL_ERROR "KAVELIN_MACOS_SDK must name a macOS SDK folder (got '${KAVELIN_MACOS_SDK}')")
endif()
if(NOT KAVELIN_MACOS_ARCH MATCHES "^(arm64|x86_64)$")
    message(FATAL_ERROR "KAVELIN_MACOS_ARCH must be arm64 or x86_64")
endif()
# Try-compiles configure their own projects: hand them the two settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KAVELIN_MACOS_SDK KAVELIN_MACOS_ARCH)

set(KAVELIN_MACOS_TRIPLE ${KAVELIN_MACOS_ARCH}-apple-macos13.0)
find_program(CMAKE_C_COMPILER NAMES clang-19 REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++-19 REQUIRED)
set(CMAKE_OBJCXX_COMPILER ${CMAKE_CXX_COMPILER})
set(CMAKE_C_COMPILER_TARGET ${KAVELIN_MACOS_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${KAVELIN_MACOS_TRIPLE})
set(CMAKE_OBJCXX_COMPILER_TARGET ${KAVELIN_MACOS_TRIPLE})
find_program(CMAKE_LIPO NAMES llvm-lipo-19 llvm-lipo)
find_program(CMAKE_INSTALL_NAME_TOOL NAMES llvm-install-name-tool-19 llvm-install-name-tool)

set(CMAKE_OSX_SYSROOT ${KAVELIN_MACOS_SDK})
set(CMAKE_OSX_ARCHITECTURES ${KAVELIN_MACOS_ARCH})
set(CMAKE_OSX_DEPLOYMENT_TARGET 13.0)

# The SDK's libc++ headers and .tbd stubs, and ld64.lld for Mach-O.
set(kavelin_cross_flags "-stdlib=libc++")
set(CMAKE_CXX_FLAGS_INIT "${kavelin_cross_flags}")
set(CMAKE_OBJCXX_FLAGS_INIT "${kavelin_cross_flags}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld ${kavelin_cross_flags}")

set(CMAKE_FIND_ROOT_PATH ${KAVELIN_MACOS_SDK})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

