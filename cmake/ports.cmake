# The libraries for a target other than this machine: SDL 1.2, SDL_mixer,
# libogg, libvorbis, libjpeg-turbo, zlib, libpng and giflib, built from
# Debian's sources by ports/deps.sh with this build's compiler and flags,
# once, and kept in a cache. SDL_image's source is not to be had:
# ports/image.c plays its part, and rand.c gives the ports whose C library
# has another generator glibc's.
string(STRIP "${CMAKE_C_FLAGS}" port_cflags)
string(STRIP "${CMAKE_EXE_LINKER_FLAGS}" port_ldflags)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env "PORT_CC=${CMAKE_C_COMPILER}" "PORT_CFLAGS=${port_cflags}"
    "PORT_LDFLAGS=${port_ldflags}" "PORT_HOST=${triplet}" "PORT_TOOLCHAIN=${CMAKE_TOOLCHAIN_FILE}"
    ${PROJECT_SOURCE_DIR}/ports/deps.sh ${VASKILOIMU_PORT}
  OUTPUT_VARIABLE ports_prefix OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

set(sdl_include_dirs ${ports_prefix}/include/SDL ${ports_prefix}/include)
add_library(libraries INTERFACE)
target_include_directories(libraries INTERFACE ${PROJECT_SOURCE_DIR}/ports ${sdl_include_dirs})
target_link_directories(libraries INTERFACE ${ports_prefix}/lib)
# What the ports' C libraries lack: the image loader, and where the C
# library's generator is not glibc's, glibc's. First, so that msvcrt's rand
# is never taken.
add_library(stand_ins STATIC ports/image.c)
if(WIN32 OR EMSCRIPTEN)
  target_sources(stand_ins PRIVATE ports/rand.c)
endif()
target_include_directories(stand_ins PRIVATE ${PROJECT_SOURCE_DIR}/ports ${sdl_include_dirs})
target_link_libraries(libraries INTERFACE stand_ins)
# By their paths, in the order they need each other: emcc takes -lSDL to
# mean a stand-in of its own. On Windows SDL and SDL_mixer are DLLs, and
# these their import libraries.
foreach(lib SDL_mixer vorbisfile vorbis ogg SDL jpeg png16 z gif)
  find_library(${lib}_library ${lib} PATHS ${ports_prefix}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH NO_CACHE REQUIRED)
  target_link_libraries(libraries INTERFACE ${${lib}_library})
endforeach()
if(VASKILOIMU_PORT MATCHES "^(i386|arm64|armhf|s390x)$")
  target_link_libraries(libraries INTERFACE pthread m)
endif()

# The still writer's, by the name Debian's CMake gives it natively.
add_library(PNG::PNG INTERFACE IMPORTED)
target_link_libraries(PNG::PNG INTERFACE ${png16_library} ${z_library})

# The other targets' frames are compared with this machine's capture tool's.
set(VASKILOIMU_NATIVE_BUILD ${PROJECT_SOURCE_DIR}/build CACHE PATH "A build of the linux preset")
set(native_capture ${VASKILOIMU_NATIVE_BUILD}/vaskiloimu-capture)
