#!/usr/bin/env bash
# ports/deps.sh PORT: builds the libraries a port links with, from Debian's
# source packages (see sources.sh): SDL 1.2, SDL_mixer 1.2 (Ogg Vorbis only),
# libogg, libvorbis, libjpeg-turbo, zlib, libpng and giflib. SDL_image's
# source is not to be had; image.c stands in for it with the last four. The
# build runs it when it is configured for a port (cmake/ports.cmake) and
# says in the environment what the target is:
#   PORT_CC, PORT_CFLAGS, PORT_LDFLAGS  its C compiler and flags
#   PORT_HOST                           its GNU triplet (none for the web)
#   PORT_TOOLCHAIN                      its CMake toolchain file
# PORT is win32 (32-bit Windows, SDL and its companions as DLLs), web
# (WebAssembly: static, SDL with only its dummy video driver, no audio driver
# and no threads), or i386, arm64, armhf or s390x (Linux, static, SDL with
# only its dummy video driver and dummy and disk audio); ports/PORT.sh, or
# linux.sh for the Linux CPUs, says how each is built.
# They are kept in a cache keyed by the source versions, the target, its
# compilers and these scripts, so that they are built once.
# Prints the folder they were installed in (lib/, include/, licenses/, and
# bin/ with the DLLs for win32).
#
#   VASKILOIMU_<PORT>_CACHE  where they are kept (default:
#                            ${XDG_CACHE_HOME:-~/.cache}/vaskiloimu-<port>)
#   VASKILOIMU_SOURCES       where the fetched source packages are kept
#                            (default: ${XDG_CACHE_HOME:-~/.cache}/vaskiloimu-sources)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
port=${1:-}
case $port in
    win32 | web) recipe=$here/$port.sh ;;
    i386 | arm64 | armhf | s390x) recipe=$here/linux.sh ;;
    *) echo "usage: $0 win32|web|i386|arm64|armhf|s390x" >&2; exit 2 ;;
esac

# Progress goes to stderr; stdout carries only the answer.
exec 3>&1 1>&2

. "$here/sources.sh"

jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
cache_var=VASKILOIMU_${port^^}_CACHE
cache=${!cache_var:-${XDG_CACHE_HOME:-$HOME/.cache}/vaskiloimu-$port}
downloads=${VASKILOIMU_SOURCES:-${XDG_CACHE_HOME:-$HOME/.cache}/vaskiloimu-sources}
host=${PORT_HOST:-}

# What the recipe sets: what identifies its compilers for the key (tools);
# how configure, make and cmake are run; configure's options (conf) and
# environment (env_port, and env_mixer for SDL_mixer's alone) beside those
# all share; the libraries' compiler and linker flags (lib_cflags,
# lib_ldflags); the options SDL and the libraries built with cmake take on
# this port (sdl_conf, cmake_conf), with a step before SDL's build, one
# after SDL_mixer's, one at the end, and a check after libjpeg-turbo's build.
configure=(./configure) mk=(make) cm=(cmake) env_port=() env_mixer=() cmake_conf=() lib_ldflags=
sdl_prepare() { :; }
mixer_finish() { :; }
port_finish() { :; }
jpeg_check() { :; }

# SDL with only its dummy video driver: all the demo asks of it where no
# one watches, or where the page takes the picture after each flip.
sdl_dummy=(--disable-nasm --disable-joystick --disable-cdrom --disable-loadso --disable-rpath
    --disable-video-opengl --disable-oss --disable-alsa --disable-esd --disable-pulseaudio
    --disable-arts --disable-nas
    --disable-video-x11 --disable-video-fbcon --disable-video-directfb
    --disable-video-ps2gs --disable-video-ps3 --disable-video-ggi --disable-video-svga
    --disable-video-vgl --disable-video-wscons --disable-video-aalib --disable-video-caca
    --disable-video-qtopia --disable-video-picogui --disable-video-nanox
    --disable-input-tslib --disable-input-events --disable-screensaver
    --enable-video-dummy)

. "$recipe"

sources_entries
sources_fetch "$downloads"
key_input=$sources_key$tools$'\n'
key_input+="$(printf '%s\n' "$port" "$host" "${PORT_CC:-}" "${PORT_CFLAGS:-}" "${PORT_LDFLAGS:-}")"$'\n'
key_input+="$(cat "$0" "$here/sources.sh" "$recipe" "${PORT_TOOLCHAIN:-/dev/null}" | sha256sum)"
key=$(printf '%s' "$key_input" | sha256sum | cut -c1-16)
prefix=$cache/deps-$key

# Each runs in its unpacked source folder.
build_ogg() {
    env "${cenv[@]}" "${configure[@]}" "${conf[@]}"
    "${mk[@]}" -j"$jobs" -C src
    "${mk[@]}" -C src install
    "${mk[@]}" -C include install
    "${mk[@]}" install-pkgconfigDATA
}

build_vorbis() {
    env "${cenv[@]}" "${configure[@]}" "${conf[@]}" --with-ogg="$prefix"
    "${mk[@]}" -j"$jobs" -C lib
    "${mk[@]}" -C lib install
    "${mk[@]}" -C include install
    "${mk[@]}" install-pkgconfigDATA
}

build_sdl() {
    sdl_prepare
    env "${cenv[@]}" "${configure[@]}" "${conf[@]}" "${sdl_conf[@]}"
    "${mk[@]}" -j"$jobs"
    "${mk[@]}" install
}

build_mixer() {
    # Ogg Vorbis only, linked in rather than loaded at run time; only the
    # library is built, its example programs do not link everywhere.
    env "${cenv[@]}" "${env_mixer[@]}" "${configure[@]}" "${conf[@]}" \
        --with-sdl-prefix="$prefix" --disable-sdltest --disable-smpegtest \
        --disable-music-cmd --disable-music-wave \
        --disable-music-mod --disable-music-mod-shared --disable-music-mod-modplug \
        --disable-music-midi --disable-music-timidity-midi --disable-music-native-midi \
        --disable-music-fluidsynth-midi --disable-music-fluidsynth-shared \
        --disable-music-flac --disable-music-flac-shared \
        --disable-music-mp3 --disable-music-mp3-shared --disable-music-mp3-mad-gpl \
        --enable-music-ogg --disable-music-ogg-shared --disable-music-ogg-tremor
    if ! grep -q -- '-DOGG_MUSIC' Makefile; then
        echo "SDL_mixer was configured without Ogg Vorbis"
        return 1
    fi
    # Only the library is built, so nothing else makes its object folder.
    mkdir -p build
    "${mk[@]}" -j"$jobs" build/libSDL_mixer.la
    "${mk[@]}" install-hdrs install-lib
    mixer_finish
}

# cmake_static TARGET [OPTIONS...]: configures with cmake for this port and
# builds TARGET, a static library, in build/.
cmake_static() {
    "${cm[@]}" -S . -B build -G "Unix Makefiles" "${cmake_conf[@]}" "${@:2}" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$cflags -DNDEBUG" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix"
    cmake --build build -j"$jobs" --target "$1"
}

build_jpeg() {
    # Without the SIMD code (it needs nasm): decoding one picture at start-up
    # is all the program asks of it.
    cmake_static jpeg-static -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
    jpeg_check
    install -m 644 build/libjpeg.a "$prefix/lib/"
    install -m 644 jpeglib.h jerror.h jmorecfg.h build/jconfig.h "$prefix/include/"
}

build_zlib() {
    # Its own configure, which knows no --host: the prefix of the target's
    # tools comes from CHOST. (Its CMake build wants files Debian removes.)
    env "${cenv[@]}" ${host:+CHOST="$host"} "${configure[@]}" --static --prefix="$prefix"
    "${mk[@]}" -j"$jobs" libz.a
    install -m 644 libz.a "$prefix/lib/"
    install -m 644 zlib.h zconf.h "$prefix/include/"
}

build_png() {
    # Without the processor-specific filter code, which only reading uses.
    cmake_static png_static -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF \
        -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"
    install -m 644 build/libpng16.a "$prefix/lib/"
    install -m 644 png.h pngconf.h build/pnglibconf.h "$prefix/include/"
}

build_gif() {
    # The library alone, by its own makefile: its programs are not wanted.
    "${mk[@]}" -j"$jobs" libgif.a CFLAGS="-std=gnu99 $cflags" ${host:+CC="${PORT_CC}" AR="$host-ar"}
    install -m 644 libgif.a "$prefix/lib/"
    install -m 644 gif_lib.h "$prefix/include/"
}

build_deps() {
    local work=$cache/work-$key
    rm -rf "$work" "$prefix"
    mkdir -p "$prefix/lib" "$prefix/include"
    unpack_sources "$downloads" "$work"
    cflags="$lib_cflags -ffile-prefix-map=$work=."
    cenv=(CFLAGS="$cflags" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib${lib_ldflags:+ $lib_ldflags}"
          PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" "${env_port[@]}")
    conf+=(--prefix="$prefix")

    step "libogg ${ver[libogg]}" "$work/libogg" build_ogg
    step "libvorbis ${ver[libvorbis]}" "$work/libvorbis" build_vorbis
    step "SDL ${ver[libsdl1.2]}" "$work/libsdl1.2" build_sdl
    step "SDL_mixer ${ver[sdl-mixer1.2]}" "$work/sdl-mixer1.2" build_mixer
    step "libjpeg-turbo ${ver[libjpeg-turbo]}" "$work/libjpeg-turbo" build_jpeg
    step "zlib ${ver[zlib]}" "$work/zlib" build_zlib
    step "libpng ${ver[libpng1.6]}" "$work/libpng1.6" build_png
    step "giflib ${ver[giflib]}" "$work/giflib" build_gif
    port_finish

    copy_licenses "$work" "$prefix/licenses"
    printf '%s' "$key_input" > "$prefix/versions.txt"
    rm -rf "$work"
    touch "$prefix/.complete"
}

if [ ! -e "$prefix/.complete" ]; then
    echo "Building the libraries for $port (once; kept in $prefix)"
    build_deps
    # Those built for other versions or by other revisions of these
    # scripts, and what a failed build left.
    find "$cache" -mindepth 1 -maxdepth 1 \( -name 'deps-*' -o -name 'work-*' \) \
        ! -name "deps-$key" -exec rm -rf {} +
fi
echo "$prefix" >&3
