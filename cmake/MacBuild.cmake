# What cross-building for macOS (toolchain files cmake/macos-*.cmake) changes in the build.
# No path of the build machine may reach the binary: the source, build and toolchain folders are
# mapped away in __FILE__ and debug info, and the linker strips the symbol table, whose debug map
# would name every object file.
foreach(folder IN ITEMS ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${TALVO_MACOS_TOOLCHAIN})
    add_compile_options(-ffile-prefix-map=${folder}/=)
endforeach()
add_link_options(-s)
include(${CMAKE_CURRENT_LIST_DIR}/MacDependencies.cmake)
