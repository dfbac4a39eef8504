# The libraries Setup needs, for a build on a Mac itself (the macos-native presets): the releases
# that the cross-build takes from Debian's source packages (utf8proc 2.8.0-1, libplist 2.2.0-6,
# nlohmann-json3 3.11.2-2, whose builds Debian does not patch), fetched from the projects' release
# tags and checked against the digests recorded here before use, then built as the cross-build
# builds them.
include(${CMAKE_CURRENT_LIST_DIR}/PinnedSources.cmake)

set(TALVO_MACOS_SOURCES ${CMAKE_BINARY_DIR}/macos-dependencies/sources)
# The SHA-256 of each tag's tar stream, the same as that of the Debian source package's upstream
# tarball.
talvo_pinned_source(${TALVO_MACOS_SOURCES}/utf8proc
    01067a2fa1adf1fe815d5d70d5c2d99aa6882593e9ee176a4739a703d90b9439
    https://github.com/JuliaStrings/utf8proc/archive/refs/tags/v2.8.0.tar.gz)
talvo_pinned_source(${TALVO_MACOS_SOURCES}/libplist
    18da624160f7cd57ffe39ac12168f9c231c53f4b2f15d0e40ca708ff5fbb107c
    https://github.com/libimobiledevice/libplist/archive/refs/tags/2.2.0.tar.gz)
talvo_pinned_source(${TALVO_MACOS_SOURCES}/json
    10baca1c5837b793f29466e2350656a9609ccf43e5b6d623248e34376f6e48ad
    https://github.com/nlohmann/json/archive/refs/tags/v3.11.2.tar.gz)
set(TALVO_MACOS_JSON_INCLUDE ${TALVO_MACOS_SOURCES}/json/include)

include(${CMAKE_CURRENT_LIST_DIR}/MacDependencies.cmake)
