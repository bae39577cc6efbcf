# Cross toolchain for the release wheels: zig's clang and its libc++,
# linked into the module, against the glibc version zig is told to target,
# so the module asks the system for nothing newer than that glibc and for
# no C++ runtime at all.
#
# The environment names the toolchain (environment variables reach the
# try_compile projects CMake makes, cache variables would not):
#   TARNWICK_ZIG         the zig executable (the ziglang package's)
#   TARNWICK_ZIG_TARGET  zig's target triple with the glibc version,
#                        e.g. x86_64-linux-gnu.2.17 or aarch64-linux-gnu.2.17
# zig takes the target as an argument; CMake wants one program per tool,
# so small wrappers that add it are written beside the build.
set(CMAKE_SYSTEM_NAME Linux)
if(NOT DEFINED ENV{TARNWICK_ZIG} OR NOT DEFINED ENV{TARNWICK_ZIG_TARGET})
  message(FATAL_ERROR "zig-toolchain.cmake needs TARNWICK_ZIG and TARNWICK_ZIG_TARGET in the environment")
endif()
set(TARNWICK_ZIG_TARGET "$ENV{TARNWICK_ZIG_TARGET}")
string(REGEX MATCH "^[a-z0-9_]+" CMAKE_SYSTEM_PROCESSOR "${TARNWICK_ZIG_TARGET}")

set(tarnwick_zig_wrappers "${CMAKE_CURRENT_BINARY_DIR}/zig-${TARNWICK_ZIG_TARGET}")
if(NOT EXISTS "${tarnwick_zig_wrappers}/c++")
  foreach(tool c++ ar ranlib)
    set(args "${tool}")
    if(tool STREQUAL "c++")
      set(args "c++ -target ${TARNWICK_ZIG_TARGET}")
    endif()
    file(WRITE "${tarnwick_zig_wrappers}/tmp/${tool}" "#!/bin/sh\nexec \"$ENV{TARNWICK_ZIG}\" ${args} \"$@\"\n")
    file(COPY "${tarnwick_zig_wrappers}/tmp/${tool}" DESTINATION "${tarnwick_zig_wrappers}"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
endif()
set(CMAKE_CXX_COMPILER "${tarnwick_zig_wrappers}/c++")
set(CMAKE_AR "${tarnwick_zig_wrappers}/ar" CACHE FILEPATH "")
set(CMAKE_RANLIB "${tarnwick_zig_wrappers}/ranlib" CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# The module links nothing from the build tree, so it needs no run path and
# is never relinked for install (CMake cannot tell the zig-linked module is
# ELF, and would refuse the relink under Ninja).
set(CMAKE_BUILD_WITH_INSTALL_RPATH ON)
