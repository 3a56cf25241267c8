# shellcheck shell=bash
# Sourced by deps.sh: the libraries for Linux on another CPU with Debian's
# cross compiler, static.
tools=$("$PORT_CC" --version | head -n 1; dpkg-query -W -f='${Package} ${Version}\n' "libc6-dev-$port-cross")
lib_cflags="-O2 $PORT_CFLAGS" lib_ldflags=$PORT_LDFLAGS
env_port=(CC="$PORT_CC")
# Its test for libvorbisfile links it alone, which a static one cannot.
env_mixer=(LIBS="-lvorbis -logg -lm")
# The scripted clock substitutes some of SDL's calls (ld's --wrap; see
# harness/CMakeLists.txt), which in a static link would catch the calls SDL
# and SDL_mixer make to themselves and each other too (the dummy audio
# thread's SDL_Delay, the mixer's SDL_PauseAudio); shared libraries keep
# those inside. One object made of both keeps them inside, and either name
# links it.
mixer_finish() {
    "$host-ld" -r --whole-archive "$prefix/lib/libSDL_mixer.a" "$prefix/lib/libSDL.a" -o sdl-and-mixer.o
    rm "$prefix/lib/libSDL.a" "$prefix/lib/libSDL_mixer.a"
    "$host-ar" rcs "$prefix/lib/libSDL.a" sdl-and-mixer.o
    cp "$prefix/lib/libSDL.a" "$prefix/lib/libSDL_mixer.a"
}
conf=(--host="$host" --disable-shared --enable-static)
# SDL's and SDL_mixer's config.sub and config.guess predate arm64, as
# Debian's build knows (it takes newer ones); these are libogg's.
sdl_prepare() {
    cp ../libogg/config.sub ../libogg/config.guess build-scripts/
    cp ../libogg/config.sub ../libogg/config.guess ../sdl-mixer1.2/build-scripts/
}
sdl_conf=("${sdl_dummy[@]}")
cmake_conf=(-DCMAKE_TOOLCHAIN_FILE="$PORT_TOOLCHAIN")
