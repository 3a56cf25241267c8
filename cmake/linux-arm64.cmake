# The linux preset's build for 64-bit ARM Linux: Debian's cross compiler
# (crossbuild-essential-arm64) against Debian's own arm64 packages, linked
# dynamically as on an arm64 machine, its programs and tests run under
# qemu-user. Unlike cmake/arm64.cmake, no port: SDL, SDL_image, SDL_mixer,
# libpng and GoogleTest are Debian's, unpacked into a folder (the sysroot)
# by tools/dev/sysroot.sh.
#
# The sysroot is tools/dev/sysroot.sh's, made or brought up to date each
# time the build is configured (a fraction of a second once made), or the
# folder VASKILOIMU_SYSROOT names. CMake reads this file again in every
# try_compile() project, and several times a configure: the script runs once
# a configure, and its answer goes along to those projects.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(VASKILOIMU_SYSROOT "" CACHE PATH "Debian's arm64 packages, unpacked (empty: tools/dev/sysroot.sh arm64's)")
get_property(in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
get_property(made GLOBAL PROPERTY vaskiloimu_sysroot)
if(VASKILOIMU_SYSROOT)
  set(vaskiloimu_sysroot ${VASKILOIMU_SYSROOT})
elseif(made)
  set(vaskiloimu_sysroot ${made})
elseif(NOT in_try_compile)
  execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../tools/dev/sysroot.sh arm64
    OUTPUT_VARIABLE vaskiloimu_sysroot OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed OR NOT EXISTS "${vaskiloimu_sysroot}/.complete")
    message(FATAL_ERROR "tools/dev/sysroot.sh arm64 made no sysroot")
  endif()
  set_property(GLOBAL PROPERTY vaskiloimu_sysroot ${vaskiloimu_sysroot})
endif()
if(NOT vaskiloimu_sysroot)
  message(FATAL_ERROR "no sysroot for ${CMAKE_CURRENT_LIST_FILE}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES vaskiloimu_sysroot)

# The compiler adds the folder's multiarch directories itself, after its
# own: the C and C++ libraries' headers and start-up files come from
# Debian's cross packages (libc6-dev-arm64-cross), everything else from the
# sysroot. find_package(), find_library() and find_path() look only there.
set(CMAKE_SYSROOT ${vaskiloimu_sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# This machine's pkg-config, reading only the sysroot's modules and
# prefixing the paths they name with it.
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${vaskiloimu_sysroot})
set(ENV{PKG_CONFIG_LIBDIR} "${vaskiloimu_sysroot}/usr/lib/aarch64-linux-gnu/pkgconfig:${vaskiloimu_sysroot}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# CPack would name the package after this machine's architecture.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)

# Where the dynamic loader and the libraries are for the programs: qemu
# looks up every absolute path in the sysroot first.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L ${vaskiloimu_sysroot})
