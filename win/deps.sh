#!/usr/bin/env bash
# Builds the libraries the Windows build links with, for i686-w64-mingw32,
# from Debian's source packages (see ports/sources.sh): SDL 1.2, SDL_mixer
# 1.2 (Ogg Vorbis only), libogg, libvorbis and libjpeg-turbo. They are kept
# in a cache keyed by the source versions, the compiler and these scripts,
# so that they are built once.
# Prints the folder they were installed in (bin/, lib/, include/, licenses/).
#
#   VASKILOIMU_WIN_CACHE  where they are kept
#                         (default: ${XDG_CACHE_HOME:-~/.cache}/vaskiloimu-win)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/deps.sh"

cache=${VASKILOIMU_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vaskiloimu-win}
host=i686-w64-mingw32
# The win32 thread model needs no winpthread DLL.
cc=$host-gcc-win32
jobs=$(nproc)

die() { echo "win/deps.sh: $*" >&2; exit 1; }

# Progress goes to stderr; stdout carries only the answer.
exec 3>&1 1>&2

need g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 binutils-mingw-w64-i686 make cmake

. "$top/ports/sources.sh"

key_input=$sources_key
key_input+="$(dpkg-query -W -f='${Package} ${Version}\n' gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-win32 mingw-w64-i686-dev binutils-mingw-w64-i686)"$'\n'
key_input+="$(sha256sum < "$0")"
key=$(printf '%s' "$key_input" | sha256sum | cut -c1-16)
prefix=$cache/deps-$key

# As for the program (see build.sh). -ffile-prefix-map keeps build paths out
# of the binaries; without --no-insert-timestamp every link differs.
arch_flags="-O2 -march=pentium4 -msse2 -mfpmath=sse -ffp-contract=off"
link_flags="-static-libgcc -Wl,--no-insert-timestamp"

# Each runs in its unpacked source folder, with cenv and conf set.
build_ogg() {
    env "${cenv[@]}" ./configure "${conf[@]}"
    make -j"$jobs" -C src
    make -C src install
    make -C include install
}

build_vorbis() {
    env "${cenv[@]}" ./configure "${conf[@]}" --with-ogg="$prefix"
    make -j"$jobs" -C lib
    make -C lib install
    make -C include install
}

build_sdl() {
    # Debian's patch keeps sdl-config from naming -lmingw32 -lSDLmain
    # -mwindows, which every Windows program needs (SDL_mixer's configure
    # too): undone here.
    patch -R -p1 < debian/patches/dont_propagate_lpthread.diff
    touch -d @315532800 sdl-config.in sdl.pc.in
    env "${cenv[@]}" ./configure "${conf[@]}" --disable-stdio-redirect --disable-nasm --disable-rpath
    make -j"$jobs"
    make install
}

build_mixer() {
    # Ogg Vorbis only, linked in rather than loaded at run time; only the
    # library is built, its example programs do not link here.
    env "${cenv[@]}" ./configure "${conf[@]}" \
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
    make -j"$jobs" build/libSDL_mixer.la
    make install-hdrs install-lib
}

build_jpeg() {
    # Static, without the SIMD code (it needs nasm): decoding one picture at
    # start-up is all the program asks of it.
    cmake -S . -B build -G "Unix Makefiles" \
        -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=X86 \
        -DCMAKE_C_COMPILER="$cc" -DCMAKE_RC_COMPILER="$host-windres" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$cflags -DNDEBUG" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
        -DCMAKE_INSTALL_PREFIX="$prefix"
    cmake --build build -j"$jobs" --target jpeg-static
    install -m 644 build/libjpeg.a "$prefix/lib/"
    install -m 644 jpeglib.h jerror.h jmorecfg.h build/jconfig.h "$prefix/include/"
}

build_deps() {
    local work=$cache/work-$key
    rm -rf "$work" "$prefix"
    mkdir -p "$prefix"
    unpack_sources "$work"

    # -fno-fast-math last: libvorbis asks for fast math, and linking a DLL
    # with it adds start-up code that changes the floating point mode of the
    # whole process.
    cflags="$arch_flags -ffile-prefix-map=$work=. -fno-fast-math"
    # Libtool would pass file names through wine's winepath, if installed,
    # for tools running on Windows; these tools run here and take them as they are.
    cenv=(CC="$cc -static-libgcc" CFLAGS="$cflags" CPPFLAGS="-I$prefix/include"
          LDFLAGS="-L$prefix/lib $link_flags" PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"
          RC="$host-windres" WINDRES="$host-windres"
          lt_cv_to_host_file_cmd=func_convert_file_noop lt_cv_to_tool_file_cmd=func_convert_file_noop)
    conf=(--host="$host" --prefix="$prefix" --enable-shared --disable-static)

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
    echo "Building the libraries for $host (once; kept in $prefix)"
    build_deps
    # Those built for other versions or by other revisions of this script,
    # and what a failed build left.
    find "$cache" -mindepth 1 -maxdepth 1 \( -name 'deps-*' -o -name 'work-*' \) \
        ! -name "deps-$key" -exec rm -rf {} +
fi
echo "$prefix" >&3

