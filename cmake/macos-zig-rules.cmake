# CMake's compiler probe on Apple passes "-v -Wl,-v"; zig's linker refuses -v, and without the
# probe CMake would not know the target's pointer size.
set(CMAKE_C_VERBOSE_FLAG "-v")
set(CMAKE_CXX_VERBOSE_FLAG "-v")
