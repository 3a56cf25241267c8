#!/usr/bin/env bash
# Builds the demo for web browsers with Debian's emscripten into a folder any
# static web server can serve: build-web/site/ with the page, the program
# (.js and .wasm), the default media and the licences. The libraries come
# from deps.sh, built once and then cached.
#
#   python3 -m http.server -d build-web/site    # then open http://localhost:8000/
#
#   VASKILOIMU_WEB_OUT    where the folder goes (default: build-web at the top)
#   VASKILOIMU_WEB_CACHE  where the libraries are kept (see deps.sh)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
. "$top/tools/deps.sh"

out=${VASKILOIMU_WEB_OUT:-$top/build-web}

die() { echo "web/build.sh: $*" >&2; exit 1; }

mapfile -t media < <(media_files)
for f in "${media[@]}"; do
    [ -s "$top/media/$f" ] || die "media/$f is missing: the page serves the default media (see media/make.sh)"
done

need emscripten nodejs
. "$here/env.sh"
prefix=$("$here/deps.sh")

obj=$out/obj
site=$out/site
rm -rf "$obj" "$site"
mkdir -p "$obj" "$site/licenses"

# The program's own sources unchanged, the shared image loader and generator,
# the glue. As natively, no fused multiply-adds: the timeline's values must
# round alike. WebAssembly's 128-bit vectors, which every current browser
# runs, for the effects' loops.
common=(-O3 -msimd128 -ffp-contract=off -Wall -Wextra "-ffile-prefix-map=$top=."
    -I"$prefix/include/SDL" -I"$prefix/include" -I"$top/ports" -I"$top/src")
objs=()
for f in "$top"/src/*.cpp; do
    o=$obj/$(basename "$f" .cpp).o
    em++ -std=c++17 "${common[@]}" -c "$f" -o "$o"
    objs+=("$o")
done
emcc -std=c99 "${common[@]}" -c "$top/ports/image.c" -o "$obj/image.o"
emcc -std=c99 "${common[@]}" -c "$top/ports/rand.c" -o "$obj/rand.o"
emcc -std=gnu11 "${common[@]}" -c "$here/glue.c" -o "$obj/glue.o"
objs+=("$obj/image.o" "$obj/rand.o" "$obj/glue.o")

# The calls glue.c answers instead of SDL and the C library, and the parts
# of a frame it times. Only direct calls lead to where the program waits for
# the page, so ASYNCIFY need not prepare every indirect one to be unwound.
wraps=()
for f in SDL_main exit srand bkge firegk firekl SDL_UpperBlit SDL_SetAlpha SDL_GetTicks SDL_Delay \
         SDL_SetVideoMode SDL_Flip SDL_PollEvent SDL_OpenAudio SDL_CloseAudio SDL_PauseAudio \
         SDL_GetAudioStatus SDL_LockAudio SDL_UnlockAudio; do
    wraps+=("-Wl,--wrap=$f")
done
# The libraries by their paths: emcc takes -lSDL to mean its own stand-in.
# The link's optimiser would inline each function that has one caller, and
# so each effect into the program's main loop; in a function that large the
# browser's compiler neither unrolls the effects' loops nor keeps their
# constants in registers, and the pattern and the overlay took half again
# as long.
lib=$prefix/lib
em++ -O2 -o "$site/vaskiloimu.js" "${objs[@]}" "${wraps[@]}" \
    "$lib/libSDL_mixer.a" "$lib/libvorbisfile.a" "$lib/libvorbis.a" "$lib/libogg.a" \
    "$lib/libSDL.a" "$lib/libjpeg.a" \
    -sASYNCIFY -sASYNCIFY_IMPORTS=page_wait -sASYNCIFY_IGNORE_INDIRECT -sASYNCIFY_STACK_SIZE=16384 \
    -sALLOW_MEMORY_GROWTH -sINITIAL_MEMORY=33554432 \
    -sBINARYEN_EXTRA_PASSES=--one-caller-inline-max-function-size=0 \
    -sMODULARIZE -sEXPORT_NAME=Vaskiloimu -sENVIRONMENT=worker -sEXPORTED_RUNTIME_METHODS=FS

# The page fetches the media by the names the program opens them by.
sed -e "s/@IMAGE_FILE@/${media[0]}/g" -e "s/@MUSIC_FILE@/${media[1]}/g" "$here/index.html" >"$site/index.html"
cp "$here/worker.js" "$site/"
for f in "${media[@]}"; do cp "$top/media/$f" "$site/"; done
cp "$prefix"/licenses/* "$site/licenses/"
[ ! -e "$top/LICENSE" ] || cp "$top/LICENSE" "$site/licenses/vaskiloimu.txt"
echo "$site"
