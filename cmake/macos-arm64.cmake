set(TALVO_MACOS_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/macos-zig.cmake)
