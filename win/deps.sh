#!/usr/bin/env bash
# Builds the libraries the Windows build links with, for i686-w64-mingw32,
# from Debian's source packages: SDL 1.2, SDL_mixer 1.2 (Ogg Vorbis only),
# libogg, libvorbis and libjpeg-turbo. They are kept in a cache keyed by the
# source versions, the compiler and this script, so that they are built once.
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
srcpkgs=(libogg libvorbis libsdl1.2 sdl-mixer1.2 libjpeg-turbo)

die() { echo "win/deps.sh: $*" >&2; exit 1; }

# Progress goes to stderr; stdout carries only the answer.
exec 3>&1 1>&2

need g++-mingw-w64-i686 binutils-mingw-w64-i686 dpkg-dev make cmake

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo

# apt-get source needs source entries; Debian's images ship only binary ones.
# They are copied from the binary entries, so they name the same mirror and suite.
have_sources() { apt-cache showsrc libogg 2>/dev/null | grep -q '^Package:'; }
if ! have_sources; then
    list=/etc/apt/sources.list.d/deb-src.sources
    if [ ! -e "$list" ]; then
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -e "$f" ] || continue
            grep -q '^Types:.*\bdeb\b' "$f" || continue
            sed -e 's/^Types:.*/Types: deb-src/' "$f"
            echo
        done | $sudo tee "$list.new" >/dev/null
        if [ -s "$list.new" ]; then
            $sudo mv "$list.new" "$list"
        else
            $sudo rm -f "$list.new"
            # The older one-line format.
            grep -qs '^deb ' /etc/apt/sources.list ||
                die "no Debian package sources are configured to copy source entries from"
            sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
                $sudo tee /etc/apt/sources.list.d/deb-src.list >/dev/null
        fi
    fi
    $sudo apt-get update -qq
    have_sources || die "apt-get cannot find Debian source packages even with source entries"
fi

# The version apt-get source would fetch (without its epoch, as in the file
# names), read from the local lists alone.
srcver() {
    apt-get source --print-uris -qq "$1" 2>/dev/null |
        sed -n "s/^'[^']*' $1_\([^ ]*\)\.dsc .*/\1/p" | head -n 1
}

declare -A ver
key_input=
for p in "${srcpkgs[@]}"; do
    ver[$p]=$(srcver "$p")
    [ -n "${ver[$p]}" ] || die "no source version known for $p"
    key_input+="$p ${ver[$p]}"$'\n'
done
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

# step NAME DIR FUNCTION: runs FUNCTION in DIR, stopping at its first failing
# command, with its output in DIR/build.log.
step() {
    local name=$1 dir=$2 fn=$3
    echo "== $name"
    local rc t0=$SECONDS
    # Outside any tested context, or errexit would be ignored in the subshell.
    set +e
    # SOURCE_DATE_EPOCH: the date of the package's last change, as Debian
    # builds it; libjpeg-turbo writes it into its version string.
    (set -e; cd "$dir"
     SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l debian/changelog -STimestamp)
     export SOURCE_DATE_EPOCH
     "$fn") >"$dir/build.log" 2>&1
    rc=$?
    set -e
    echo "   $((SECONDS - t0)) s"
    if [ "$rc" -ne 0 ]; then
        tail -n 30 "$dir/build.log" >&2
        die "building $name failed; the whole log is $dir/build.log"
    fi
}

build_deps() {
    local work=$cache/work-$key
    local dl=$cache/sources
    rm -rf "$work" "$prefix"
    mkdir -p "$work" "$dl" "$prefix"

    for p in "${srcpkgs[@]}"; do
        local dsc="$dl/${p}_${ver[$p]}.dsc"
        if [ ! -e "$dsc" ]; then
            (cd "$dl" && apt-get source -q --download-only "$p") >"$dl/$p.log" 2>&1 ||
                { cat "$dl/$p.log" >&2; die "apt-get source $p failed"; }
            [ -e "$dsc" ] || die "apt-get source $p did not fetch $(basename "$dsc")"
        fi
        (cd "$work" && dpkg-source -x "$dsc" "$p") >"$work/$p.log" 2>&1 ||
            { cat "$work/$p.log" >&2; die "unpacking $(basename "$dsc") failed"; }
        # One timestamp for every file: the patches touched some inputs of
        # the generated build files, and make must not try to regenerate them.
        find "$work/$p" -exec touch -h -d @315532800 {} +
    done

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

    # License texts, shipped beside the binaries built from these sources.
    mkdir -p "$prefix/licenses"
    cp "$work/libsdl1.2/COPYING" "$prefix/licenses/SDL.txt"
    cp "$work/sdl-mixer1.2/COPYING" "$prefix/licenses/SDL_mixer.txt"
    cp "$work/libogg/COPYING" "$prefix/licenses/libogg.txt"
    cp "$work/libvorbis/COPYING" "$prefix/licenses/libvorbis.txt"
    cp "$work/libjpeg-turbo/LICENSE.md" "$prefix/licenses/libjpeg-turbo.txt"
    cp "$work/libjpeg-turbo/README.ijg" "$prefix/licenses/libjpeg-turbo-README.ijg.txt"
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

