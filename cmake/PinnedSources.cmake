# Third-party source trees fetched by a build, each pinned to the SHA-256 of its uncompressed tar
# stream and checked before it is unpacked. The tar stream rather than the compressed file, so
# that one pin holds whichever compression a host serves or changes to.
#
#   talvo_pinned_source(<folder> <tar-sha256> <url>...)
#
# makes <folder> hold the tarball's single top folder, taken from the first URL whose content has
# the digest. The tarball is kept in TALVO_PINNED_DOWNLOADS, so that a later configure (or a
# folder filled by hand) needs no network; <folder> is unpacked again only when the pin changes.

set(TALVO_PINNED_DOWNLOADS ${CMAKE_BINARY_DIR}/pinned-downloads CACHE PATH
    "Tarballs of pinned third-party sources, named <name>-<tar-sha256>")

# The SHA-256 of the tar stream inside a gzip or bzip2 file (or a plain tar).
function(talvo_tar_stream_sha256 archive result)
    file(READ ${archive} magic LIMIT 3 HEX)
    if(magic MATCHES "^1f8b")
        set(decompress gzip -dc)
    elseif(magic STREQUAL "425a68")
        set(decompress bzip2 -dc)
    else()
        file(SHA256 ${archive} digest)
        set(${result} ${digest} PARENT_SCOPE)
        return()
    endif()
    execute_process(COMMAND ${decompress} ${archive} OUTPUT_FILE ${archive}.tar
                    RESULT_VARIABLE status ERROR_QUIET)
    set(digest "")
    if(status EQUAL 0)
        file(SHA256 ${archive}.tar digest)
    endif()
    file(REMOVE ${archive}.tar)
    set(${result} "${digest}" PARENT_SCOPE)
endfunction()

function(talvo_pinned_source folder tar_sha256)
    get_filename_component(name ${folder} NAME)
    set(stamp ${folder}/.talvo-pinned-sha256)
    if(EXISTS ${stamp})
        file(READ ${stamp} unpacked)
        if(unpacked STREQUAL tar_sha256)
            return()
        endif()
    endif()

    set(tarball ${TALVO_PINNED_DOWNLOADS}/${name}-${tar_sha256})
    if(EXISTS ${tarball})
        talvo_tar_stream_sha256(${tarball} digest)
        if(NOT digest STREQUAL tar_sha256)
            file(REMOVE ${tarball})
        endif()
    endif()
    foreach(url IN LISTS ARGN)
        if(EXISTS ${tarball})
            break()
        endif()
        message(STATUS "Fetching ${name} from ${url}")
        file(DOWNLOAD ${url} ${tarball}.part STATUS status TLS_VERIFY ON)
        list(GET status 0 code)
        if(code EQUAL 0)
            talvo_tar_stream_sha256(${tarball}.part digest)
            if(digest STREQUAL tar_sha256)
                file(RENAME ${tarball}.part ${tarball})
                break()
            endif()
            message(WARNING "${url} holds a tar stream with SHA-256 '${digest}', not the pinned "
                            "${tar_sha256}: not used")
        else()
            message(WARNING "${url} could not be fetched: ${status}")
        endif()
        file(REMOVE ${tarball}.part)
    endforeach()
    if(NOT EXISTS ${tarball})
        message(FATAL_ERROR "No source of ${name} has the pinned tar stream SHA-256 "
                            "${tar_sha256}. Tried: ${ARGN}")
    endif()

    set(staging ${folder}.unpacking)
    file(REMOVE_RECURSE ${staging} ${folder})
    file(ARCHIVE_EXTRACT INPUT ${tarball} DESTINATION ${staging})
    file(GLOB top LIST_DIRECTORIES true ${staging}/*)
    list(LENGTH top count)
    if(NOT count EQUAL 1 OR NOT IS_DIRECTORY "${top}")
        message(FATAL_ERROR "${tarball} does not hold a single top folder")
    endif()
    file(RENAME ${top} ${folder})
    file(REMOVE_RECURSE ${staging})
    file(WRITE ${stamp} ${tar_sha256})
endfunction()
