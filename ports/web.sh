# shellcheck shell=bash
# Sourced by deps.sh: the libraries for WebAssembly with emscripten, static.
tools=$(emcc --version | head -n 1; "$(em-config LLVM_ROOT)/clang" --version | head -n 1; node --version)
lib_cflags=-O2
# Without --host: configure takes emcc's programs for native ones, and runs
# its test programs under node (emcc makes them executable scripts).
configure=(emconfigure ./configure) mk=(emmake make) cm=(emcmake cmake)
conf=(--disable-shared --enable-static)
# No audio driver: the page calls the mixer (see web/glue.cpp), and without
# a device SDL mixes in the 16-bit format the mixer asks for.
sdl_conf=("${sdl_dummy[@]}" --disable-threads --disable-pthreads --disable-assembly
    --disable-diskaudio --disable-dummyaudio)
# Without an emulator cmake runs its try-run programs with a node flag newer
# node rejects, and records wrong type sizes.
cmake_conf=(-DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)")
jpeg_check() { grep -q 'SIZEOF_SIZE_T  *4' build/jconfigint.h || { echo "wrong size_t size"; return 1; }; }
