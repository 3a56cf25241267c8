#!/usr/bin/env bash
# Builds the libraries the web build links with, for WebAssembly with
# Debian's emscripten, from Debian's source packages (see ports/sources.sh):
# the classic SDL 1.2 with only its dummy video and audio drivers and no
# threads, SDL_mixer 1.2 (Ogg Vorbis only), libogg, libvorbis and
# libjpeg-turbo, all static. They are kept in a cache keyed by the source
# versions, the compiler and these scripts, so that they are built once.
# Prints the folder they were installed in (lib/, include/, licenses/).
#
#   VASKILOIMU_WEB_CACHE  where they are kept
#                         (default: ${XDG_CACHE_HOME:-~/.cache}/vaskiloimu-web)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
. "$top/tools/deps.sh"

die() { echo "web/deps.sh: $*" >&2; exit 1; }

# Progress goes to stderr; stdout carries only the answer.
exec 3>&1 1>&2

need emscripten nodejs make cmake
. "$here/env.sh"
. "$top/ports/sources.sh"

cache=${VASKILOIMU_WEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vaskiloimu-web}
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2

key_input=$sources_key
key_input+="$(emcc --version | head -n 1; "$(em-config LLVM_ROOT)/clang" --version | head -n 1; node --version)"$'\n'
key_input+="$(sha256sum < "$0")"
key=$(printf '%s' "$key_input" | sha256sum | cut -c1-16)
prefix=$cache/deps-$key

# Without --host: configure takes emcc's programs for native ones, and runs
# its test programs under node (emcc makes them executable scripts).
build_ogg() {
    emconfigure ./configure "${conf[@]}"
    emmake make -j"$jobs" -C src
    make -C src install
    make -C include install
}

build_vorbis() {
    emconfigure ./configure "${conf[@]}" --with-ogg="$prefix"
    emmake make -j"$jobs" -C lib
    make -C lib install
    make -C include install
}

build_sdl() {
    # Only what the demo asks of it: the dummy video driver (the picture is
    # taken from the screen surface after each flip), events and the clock.
    # No audio driver: the page calls the mixer (see glue.c), and without a
    # device SDL mixes in the 16-bit format the mixer asks for.
    emconfigure ./configure "${conf[@]}" --disable-threads --disable-pthreads \
        --disable-assembly --disable-nasm --disable-joystick --disable-cdrom \
        --disable-loadso --disable-rpath --disable-video-opengl \
        --disable-oss --disable-alsa --disable-esd --disable-pulseaudio --disable-arts \
        --disable-nas --disable-diskaudio --disable-dummyaudio \
        --disable-video-x11 --disable-video-fbcon --disable-video-directfb \
        --disable-video-ps2gs --disable-video-ps3 --disable-video-ggi --disable-video-svga \
        --disable-video-vgl --disable-video-wscons --disable-video-aalib --disable-video-caca \
        --disable-video-qtopia --disable-video-picogui --disable-video-nanox \
        --disable-input-tslib --disable-input-events --disable-screensaver \
        --enable-video-dummy
    emmake make -j"$jobs"
    make install
}

build_mixer() {
    emconfigure ./configure "${conf[@]}" \
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
    emmake make -j"$jobs" build/libSDL_mixer.la
    make install-hdrs install-lib
}

build_jpeg() {
    # Without an emulator cmake runs its try-run programs with a node flag
    # newer node rejects, and records wrong type sizes.
    emcmake cmake -S . -B build -G "Unix Makefiles" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$cflags -DNDEBUG" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
        -DCMAKE_INSTALL_PREFIX="$prefix"
    grep -q 'SIZEOF_SIZE_T  *4' build/jconfigint.h || { echo "wrong size_t size"; return 1; }
    cmake --build build -j"$jobs" --target jpeg-static
    install -m 644 build/libjpeg.a "$prefix/lib/"
    install -m 644 jpeglib.h jerror.h jmorecfg.h build/jconfig.h "$prefix/include/"
}

build_deps() {
    local work=$cache/work-$key
    rm -rf "$work" "$prefix"
    mkdir -p "$prefix/lib" "$prefix/include"
    unpack_sources "$work"

    cflags="-O2 -ffile-prefix-map=$work=."
    export CFLAGS="$cflags" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" \
        PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"
    conf=(--prefix="$prefix" --disable-shared --enable-static)

    step "libogg ${ver[libogg]}" "$work/libogg" build_ogg
    step "libvorbis ${ver[libvorbis]}" "$work/libvorbis" build_vorbis
    step "SDL ${ver[libsdl1.2]}" "$work/libsdl1.2" build_sdl
    step "SDL_mixer ${ver[sdl-mixer1.2]}" "$work/sdl-mixer1.2" build_mixer
    step "libjpeg-turbo ${ver[libjpeg-turbo]}" "$work/libjpeg-turbo" build_jpeg

    copy_licenses "$work" "$prefix/licenses"
    printf '%s' "$key_input" > "$prefix/versions.txt"
    rm -rf "$work"
    touch "$prefix/.complete"
}

if [ ! -e "$prefix/.complete" ]; then
    echo "Building the libraries for WebAssembly (once; kept in $prefix)"
    build_deps
    find "$cache" -mindepth 1 -maxdepth 1 \( -name 'deps-*' -o -name 'work-*' \) \
        ! -name "deps-$key" -exec rm -rf {} +
fi
echo "$prefix" >&3
