# The libraries Setup needs, built for the macOS target from the Debian source packages that
# scripts/install-macos-deps unpacks (never copied into this repository). They take the names the
# Linux build gets from pkg-config and find_package, so the folders' CMakeLists stay the same.
set(TALVO_MACOS_SOURCES ${TALVO_MACOS_TOOLCHAIN}/sources CACHE PATH
    "Unpacked Debian source packages of utf8proc and libplist")
foreach(package IN ITEMS utf8proc libplist)
    if(NOT EXISTS ${TALVO_MACOS_SOURCES}/${package})
        message(FATAL_ERROR "${TALVO_MACOS_SOURCES}/${package} is missing: run scripts/install-macos-deps")
    endif()
endforeach()

# Third-party code is built as its authors ship it: their warnings are not ours to fix.
function(talvo_third_party target)
    set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
    target_compile_options(${target} PRIVATE -w)
endfunction()

set(utf8proc_dir ${TALVO_MACOS_SOURCES}/utf8proc)
# utf8proc.c includes utf8proc_data.c itself.
add_library(talvo_macos_utf8proc STATIC ${utf8proc_dir}/utf8proc.c)
target_compile_definitions(talvo_macos_utf8proc PUBLIC UTF8PROC_STATIC)
target_include_directories(talvo_macos_utf8proc SYSTEM PUBLIC ${utf8proc_dir})
talvo_third_party(talvo_macos_utf8proc)
add_library(PkgConfig::UTF8PROC ALIAS talvo_macos_utf8proc)

# libplist's C library with the few answers its configure script would find on macOS. The 2.2
# series only, as on Linux (see the top-level CMakeLists.txt).
set(plist_dir ${TALVO_MACOS_SOURCES}/libplist)
# configure.ac names the release, e.g. "AC_INIT([libplist], [2.2.0], ...".
file(STRINGS ${plist_dir}/configure.ac plist_init REGEX "^AC_INIT\\(" LIMIT_COUNT 1)
string(REGEX MATCH "^AC_INIT\\(\\[libplist\\], \\[([^]]*)\\]" unused "${plist_init}")
set(plist_version ${CMAKE_MATCH_1})
if(NOT plist_version MATCHES "^2\\.2\\.")
    message(FATAL_ERROR "${plist_dir} holds libplist '${plist_version}'; Setup needs 2.2.x: "
                        "run scripts/install-macos-deps")
endif()
set(plist_config_dir ${CMAKE_BINARY_DIR}/macos-dependencies/libplist)
file(WRITE ${plist_config_dir}/config.h.new [=[
#define HAVE_STDINT_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
#define HAVE_ASPRINTF 1
#define HAVE_STRCASECMP 1
#define HAVE_STRDUP 1
#define HAVE_STRERROR 1
#define HAVE_STRNDUP 1
#define HAVE_STPCPY 1
#define HAVE_VASPRINTF 1
#define HAVE_GMTIME_R 1
#define HAVE_LOCALTIME_R 1
#define HAVE_TIMEGM 1
#define HAVE_STRPTIME 1
#define HAVE_MEMMEM 1
#define HAVE_TM_TM_GMTOFF 1
#define HAVE_TM_TM_ZONE 1
#ifndef __LITTLE_ENDIAN__
#define __LITTLE_ENDIAN__ 1
#endif
]=])
file(COPY_FILE ${plist_config_dir}/config.h.new ${plist_config_dir}/config.h ONLY_IF_DIFFERENT)
file(GLOB plist_sources ${plist_dir}/src/*.c ${plist_dir}/libcnary/*.c)
add_library(talvo_macos_plist STATIC ${plist_sources})
target_compile_definitions(talvo_macos_plist PRIVATE HAVE_CONFIG_H)
target_include_directories(talvo_macos_plist
    PRIVATE ${plist_config_dir} ${plist_dir} ${plist_dir}/src ${plist_dir}/libcnary/include
    SYSTEM PUBLIC ${plist_dir}/include)
talvo_third_party(talvo_macos_plist)
add_library(PkgConfig::PLIST ALIAS talvo_macos_plist)

# nlohmann-json is header-only: Debian's headers (or those of TALVO_MACOS_JSON_INCLUDE) are used
# as they are, from a copy of their own folder so that the build machine's /usr/include (glibc's
# headers) never reaches the target.
if(NOT TALVO_MACOS_JSON_INCLUDE)
    set(TALVO_MACOS_JSON_INCLUDE /usr/include)
endif()
set(json_include_dir ${CMAKE_BINARY_DIR}/macos-dependencies/json/include)
if(NOT EXISTS ${TALVO_MACOS_JSON_INCLUDE}/nlohmann/json.hpp)
    message(FATAL_ERROR "nlohmann-json3-dev is missing: run scripts/install-macos-deps")
endif()
file(COPY ${TALVO_MACOS_JSON_INCLUDE}/nlohmann DESTINATION ${json_include_dir})
set(json_config_dir ${CMAKE_BINARY_DIR}/macos-dependencies/json/cmake)
file(WRITE ${json_config_dir}/nlohmann_jsonConfig.cmake "
if(NOT TARGET nlohmann_json::nlohmann_json)
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
        INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${json_include_dir}
        INTERFACE_INCLUDE_DIRECTORIES ${json_include_dir})
endif()
")
file(STRINGS ${TALVO_MACOS_JSON_INCLUDE}/nlohmann/detail/abi_macros.hpp json_version_lines
     REGEX "#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) +[0-9]+")
set(json_version_parts)
foreach(line IN LISTS json_version_lines)
    string(REGEX MATCH "_(MAJOR|MINOR|PATCH) +([0-9]+)" unused "${line}")
    list(APPEND json_version_parts ${CMAKE_MATCH_2})
endforeach()
list(JOIN json_version_parts . json_version)
string(REGEX MATCH "^[0-9]+" json_major ${json_version})
file(WRITE ${json_config_dir}/nlohmann_jsonConfigVersion.cmake "
set(PACKAGE_VERSION ${json_version})
if(PACKAGE_FIND_VERSION_MAJOR EQUAL ${json_major} AND NOT PACKAGE_FIND_VERSION VERSION_GREATER PACKAGE_VERSION)
    set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
")
set(nlohmann_json_DIR ${json_config_dir} CACHE PATH "" FORCE)
