#!/usr/bin/env bash
# Cross-builds the demo for 32-bit Windows with Debian's mingw-w64 and packs
# it, its DLLs and the default media into build-win/vaskiloimu-win32.zip.
# Beside the zip, not in it: build-win/vaskiloimu-stills.exe, the still
# writer, which the tests run with the zip's DLLs.
# The libraries come from ports/deps.sh, built once and then cached; the
# compiler and its flags from cmake/win32.cmake, as for them.
#
#   VASKILOIMU_WIN_OUT    where the zip goes (default: build-win at the top)
#   VASKILOIMU_WIN_CACHE  where the libraries are kept (see ports/deps.sh)
set -euo pipefail
die() { echo "win/build.sh: $*" >&2; exit 1; }

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
. "$top/tools/deps.sh"

out=${VASKILOIMU_WIN_OUT:-$top/build-win}

# Checked first: without them there is nothing to ship.
mapfile -t media < <(media_files)
for f in "${media[@]}"; do
    [ -s "$top/media/$f" ] || die "media/$f is missing: the zip ships the default media (see media/make.sh)"
done

need python3
# Debian's own: its zlib, and so the compressed bytes, are those of the release.
py=/usr/bin/python3
prefix=$("$top/ports/deps.sh" win)
eval "$(cmake -DTARGET=win32 -P "$top/cmake/shell.cmake")"
host=$triplet cc=$target_cc cxx=$target_cxx

# The date the zip gives its files: that of the last commit to what goes
# into it, so that other commits leave the zip as it was.
date=$(git -C "$top" log -1 --format=%ct -- src win ports cmake/win32.cmake media LICENSE 2>/dev/null) || date=
[ -n "$date" ] || date=315532800

# The program: its own sources unchanged, plus the small image loader and
# glibc's rand and srand, which the ports share. rand.o comes before the
# libraries, so its rand and srand are the ones the program calls and
# msvcrt's 15-bit ones are never linked.

obj=$out/obj
stage=$out/vaskiloimu-win32
rm -rf "$obj" "$stage"
mkdir -p "$obj" "$stage"

# M_PI is POSIX, not C++: mingw's math.h gives it in strict C++ modes only
# when asked like this.
common="-D_USE_MATH_DEFINES $target_cflags -Wall -Wextra -ffile-prefix-map=$top=. -I$prefix/include/SDL -I$prefix/include -I$top/ports"
# objs: everything but the entry point, which the still writer has its own of.
objs=()
for f in "$top"/src/*.cpp; do
    o=$obj/$(basename "$f" .cpp).o
    $cxx -std=c++17 $common -c "$f" -o "$o"
    [ "$f" = "$top/src/main.cpp" ] || objs+=("$o")
done
for f in image rand; do
    $cc -std=c99 $common -c "$top/ports/$f.c" -o "$obj/$f.o"
    objs+=("$obj/$f.o")
done
libs=(-lSDL_mixer -lSDL "$prefix/lib/libjpeg.a")

$cxx -mwindows $target_ldflags -static-libstdc++ -o "$stage/vaskiloimu.exe" "$obj/main.o" "${objs[@]}" \
    -L"$prefix/lib" -lmingw32 -lSDLmain "${libs[@]}"

# The still writer, linked as the demo is but with the options CMake links
# the scripted clock with, taken from there. A console program with a main of
# its own, so without SDLmain.
wraps=$(sed -n 's/^ *\(-Wl,--wrap=[^ )]*\))$/\1/p' "$top/CMakeLists.txt")
[ -n "$wraps" ] || die "CMakeLists.txt names no --wrap options for the scripted clock"
for f in scripted stills; do
    $cxx -std=c++17 $common -I"$top/src" -I"$top/tools" -c "$top/tools/$f.cpp" -o "$obj/$f.o"
done
$cxx $target_ldflags -static-libstdc++ -o "$out/vaskiloimu-stills.exe" "$obj/stills.o" "$obj/scripted.o" \
    "${objs[@]}" "$wraps" -L"$prefix/lib" "${libs[@]}"

dlls=(SDL.dll SDL_mixer.dll libogg-0.dll libvorbis-0.dll libvorbisfile-3.dll)
for d in "${dlls[@]}"; do
    cp "$prefix/bin/$d" "$stage/$d"
done
# strip stamps the current time into a PE header, or SOURCE_DATE_EPOCH when
# set: 0, as the linker left it, so the binaries depend on the sources alone.
for f in "$stage"/*.exe "$stage"/*.dll; do
    SOURCE_DATE_EPOCH=0 $host-strip --strip-all "$f"
done

# Every DLL named must be shipped or be part of Windows itself; a missing
# one (libgcc_s_dw2-1.dll, say) only shows on a machine without it.
system_dlls=" kernel32.dll user32.dll gdi32.dll winmm.dll advapi32.dll msvcrt.dll ole32.dll shell32.dll "
for f in "$stage"/*.exe "$stage"/*.dll; do
    for d in $($host-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p'); do
        l=${d,,}
        case "$system_dlls" in *" $l "*) continue ;; esac
        [ -e "$stage/$d" ] || die "$(basename "$f") needs $d, which is not shipped"
    done
done

for f in "${media[@]}"; do cp "$top/media/$f" "$stage/"; done
# Carriage returns for Notepad.
sed 's/$/\r/' "$top/win/README.txt" > "$stage/README.txt"
mkdir -p "$stage/licenses"
for f in "$prefix"/licenses/*; do
    sed 's/\r*$/\r/' "$f" > "$stage/licenses/$(basename "$f")"
done
sed 's/$/\r/' "$top/LICENSE" > "$stage/licenses/vaskiloimu.txt"

zip=$out/vaskiloimu-win32.zip
$py - "$stage" "$zip" "$date" <<'EOF'
# Sorted names, one fixed date and fixed attributes: the same files always
# give the same zip.
import os, sys, time, zipfile
stage, dest, date = sys.argv[1], sys.argv[2], int(sys.argv[3])
root = os.path.basename(stage)
# Zip dates start in 1980.
when = time.gmtime(max(date, 315532800))[:6]
names = sorted(os.path.relpath(os.path.join(d, f), stage)
               for d, _, fs in os.walk(stage) for f in fs)
tmp = dest + ".tmp"
with zipfile.ZipFile(tmp, "w") as z:
    for n in names:
        info = zipfile.ZipInfo(root + "/" + n.replace(os.sep, "/"), when)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 3
        info.external_attr = 0o100644 << 16
        with open(os.path.join(stage, n), "rb") as f:
            z.writestr(info, f.read(), compresslevel=9)
os.replace(tmp, dest)
EOF
echo "$zip"
