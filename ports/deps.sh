#!/usr/bin/env bash
# ports/deps.sh PORT: builds the libraries a port links with, from Debian's
# source packages (see sources.sh): SDL 1.2, SDL_mixer 1.2 (Ogg Vorbis only),
# libogg, libvorbis and libjpeg-turbo. SDL_image's source is not to be had;
# image.c stands in for it. PORT is
#   win                        32-bit Windows with mingw-w64, as DLLs;
#   web                        WebAssembly with emscripten, static, SDL with
#                              only its dummy video driver, no audio driver
#                              and no threads;
#   i386, arm64, armhf, s390x  Linux on that Debian architecture with its
#                              cross compiler, static, SDL with only its
#                              dummy video driver and dummy and disk audio.
# They are kept in a cache keyed by the source versions, the compiler and
# this script's recipe for PORT, so that they are built once.
# Prints the folder they were installed in (lib/, include/, licenses/, and
# bin/ with the DLLs for win).
#
#   VASKILOIMU_<PORT>_CACHE  where they are kept (default:
#                            ${XDG_CACHE_HOME:-~/.cache}/vaskiloimu-<port>)
#   VASKILOIMU_SOURCES       where the fetched source packages are kept
#                            (default: ${XDG_CACHE_HOME:-~/.cache}/vaskiloimu-sources)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
port=${1:-}
case $port in
    win | web) block=$port ;;
    i386 | arm64 | armhf | s390x) block=linux ;;
    *) echo "usage: $0 win|web|i386|arm64|armhf|s390x" >&2; exit 2 ;;
esac

# Progress goes to stderr; stdout carries only the answer.
exec 3>&1 1>&2

. "$top/tools/deps.sh"
. "$here/sources.sh"

jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
cache_var=VASKILOIMU_${port^^}_CACHE
cache=${!cache_var:-${XDG_CACHE_HOME:-$HOME/.cache}/vaskiloimu-$port}

# What a port's block sets: the packages it needs; what identifies its
# compilers for the key (tools); how configure, make and cmake are run;
# configure's options (conf) and environment (env_port, and env_mixer for
# SDL_mixer's alone) beside those all share; the libraries' compiler and
# linker flags (lib_cflags, lib_ldflags); the options SDL and libjpeg-turbo
# take on this port, with a step before SDL's build, one after SDL_mixer's
# and a check after libjpeg-turbo's configuration; and the toolchain files
# under cmake/ that say what the target is. Each block stands alone in the
# key: a change to one rebuilds only that port's libraries.
configure=(./configure) mk=(make) cm=(cmake) env_port=() env_mixer=() lib_ldflags= toolchain=()
sdl_prepare() { :; }
mixer_finish() { :; }
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

port_win() {
    need g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 binutils-mingw-w64-i686 make cmake dpkg-dev
    eval "$(cmake -DTARGET=win32 -P "$top/cmake/shell.cmake")"
    tools=$(dpkg-query -W -f='${Package} ${Version}\n' gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-win32 \
        mingw-w64-i686-dev binutils-mingw-w64-i686)
    lib_cflags=$target_cflags lib_ldflags=$target_ldflags
    # Libtool would pass file names through wine's winepath, if installed,
    # for tools running on Windows; these tools run here and take them as they are.
    env_port=(CC="$target_cc -static-libgcc" RC="$triplet-windres" WINDRES="$triplet-windres"
        lt_cv_to_host_file_cmd=func_convert_file_noop lt_cv_to_tool_file_cmd=func_convert_file_noop)
    conf=(--host="$triplet" --enable-shared --disable-static)
    # Debian's patch keeps sdl-config from naming -lmingw32 -lSDLmain
    # -mwindows, which every Windows program needs (SDL_mixer's configure
    # too): undone here.
    sdl_prepare() {
        patch -R -p1 < debian/patches/dont_propagate_lpthread.diff
        touch -d @315532800 sdl-config.in sdl.pc.in
    }
    sdl_conf=(--disable-stdio-redirect --disable-nasm --disable-rpath)
    toolchain=("$top/cmake/win32.cmake")
    jpeg_conf=(-DCMAKE_TOOLCHAIN_FILE="${toolchain[0]}")
}

port_web() {
    need emscripten nodejs make cmake dpkg-dev
    . "$top/web/env.sh"
    tools=$(emcc --version | head -n 1; "$(em-config LLVM_ROOT)/clang" --version | head -n 1; node --version)
    lib_cflags=-O2
    # Without --host: configure takes emcc's programs for native ones, and
    # runs its test programs under node (emcc makes them executable scripts).
    configure=(emconfigure ./configure) mk=(emmake make) cm=(emcmake cmake)
    conf=(--disable-shared --enable-static)
    # No audio driver: the page calls the mixer (see web/glue.c), and without
    # a device SDL mixes in the 16-bit format the mixer asks for.
    sdl_conf=("${sdl_dummy[@]}" --disable-threads --disable-pthreads --disable-assembly
        --disable-diskaudio --disable-dummyaudio)
    # Without an emulator cmake runs its try-run programs with a node flag
    # newer node rejects, and records wrong type sizes.
    jpeg_conf=(-DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)")
    jpeg_check() { grep -q 'SIZEOF_SIZE_T  *4' build/jconfigint.h || { echo "wrong size_t size"; return 1; }; }
}

port_linux() {
    need "crossbuild-essential-$port" make cmake dpkg-dev
    eval "$(cmake -DTARGET="$port" -P "$top/cmake/shell.cmake")"
    tools=$("$target_cc" --version | head -n 1; dpkg-query -W -f='${Package} ${Version}\n' "libc6-dev-$port-cross")
    lib_cflags="-O2 $target_cflags"
    env_port=(CC="$target_cc")
    # Its test for libvorbisfile links it alone, which a static one cannot.
    env_mixer=(LIBS="-lvorbis -logg -lm")
    # The tests and tools wrap some of SDL's calls (ld's --wrap) to run the
    # demo on a scripted clock; in a static link that would catch the calls
    # SDL and SDL_mixer make to themselves and each other too (the dummy
    # audio thread's SDL_Delay, the mixer's SDL_PauseAudio), which shared
    # libraries keep inside. One object made of both keeps them inside, and
    # either name links it.
    mixer_finish() {
        "$triplet-ld" -r --whole-archive "$prefix/lib/libSDL_mixer.a" "$prefix/lib/libSDL.a" -o sdl-and-mixer.o
        rm "$prefix/lib/libSDL.a" "$prefix/lib/libSDL_mixer.a"
        "$triplet-ar" rcs "$prefix/lib/libSDL.a" sdl-and-mixer.o
        cp "$prefix/lib/libSDL.a" "$prefix/lib/libSDL_mixer.a"
    }
    conf=(--host="$triplet" --disable-shared --enable-static)
    sdl_conf=("${sdl_dummy[@]}")
    toolchain=("$top/cmake/$port.cmake" "$top/cmake/linux.cmake")
    jpeg_conf=(-DCMAKE_TOOLCHAIN_FILE="${toolchain[0]}")
}

"port_$block"

sources_entries
sources_versions
# This script without the other ports' blocks, and the files it reads.
recipe=$(awk -v keep="port_$block()" '/^port_[a-z0-9]*\(\) \{/ { skip = $1 != keep }
    !skip { print } /^\}/ { skip = 0 }' "$0")
key_input=$sources_key$tools$'\n'
key_input+="$(printf '%s\n' "$recipe" | cat - "$here/sources.sh" "$top/cmake/shell.cmake" "${toolchain[@]}" | sha256sum)"
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

build_jpeg() {
    # Static, without the SIMD code (it needs nasm): decoding one picture at
    # start-up is all the program asks of it.
    "${cm[@]}" -S . -B build -G "Unix Makefiles" "${jpeg_conf[@]}" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$cflags -DNDEBUG" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
        -DCMAKE_INSTALL_PREFIX="$prefix"
    jpeg_check
    cmake --build build -j"$jobs" --target jpeg-static
    install -m 644 build/libjpeg.a "$prefix/lib/"
    install -m 644 jpeglib.h jerror.h jmorecfg.h build/jconfig.h "$prefix/include/"
    mkdir -p "$prefix/lib/pkgconfig"
    sed "s|^libdir=.*|libdir=$prefix/lib|" build/pkgscripts/libjpeg.pc > "$prefix/lib/pkgconfig/libjpeg.pc"
}

build_deps() {
    local work=$cache/work-$key
    rm -rf "$work" "$prefix"
    mkdir -p "$prefix/lib" "$prefix/include"
    unpack_sources "${VASKILOIMU_SOURCES:-${XDG_CACHE_HOME:-$HOME/.cache}/vaskiloimu-sources}" "$work"
    cflags="$lib_cflags -ffile-prefix-map=$work=."
    cenv=(CFLAGS="$cflags" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib${lib_ldflags:+ $lib_ldflags}"
          PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" "${env_port[@]}")
    conf+=(--prefix="$prefix")

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
    echo "Building the libraries for $port (once; kept in $prefix)"
    build_deps
    # Those built for other versions or by other revisions of this script,
    # and what a failed build left.
    find "$cache" -mindepth 1 -maxdepth 1 \( -name 'deps-*' -o -name 'work-*' \) \
        ! -name "deps-$key" -exec rm -rf {} +
fi
echo "$prefix" >&3
