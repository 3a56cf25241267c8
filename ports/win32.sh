# shellcheck shell=bash
# Sourced by deps.sh: the libraries for 32-bit Windows with mingw-w64, SDL
# and its companions as DLLs, the rest static.
tools=$(dpkg-query -W -f='${Package} ${Version}\n' gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-win32 \
    mingw-w64-i686-dev binutils-mingw-w64-i686)
lib_cflags=$PORT_CFLAGS lib_ldflags=$PORT_LDFLAGS
# Libtool would pass file names through wine's winepath, if installed, for
# tools running on Windows; these tools run here and take them as they are.
# Libtool drops -static-libgcc from the flags of a link: the compiler carries it.
env_port=(CC="$PORT_CC -static-libgcc" RC="$host-windres" WINDRES="$host-windres"
    lt_cv_to_host_file_cmd=func_convert_file_noop lt_cv_to_tool_file_cmd=func_convert_file_noop)
conf=(--host="$host" --enable-shared --disable-static)
# Debian's patch keeps sdl-config from naming -lmingw32 -lSDLmain -mwindows,
# which every Windows program needs (SDL_mixer's configure too): undone here.
sdl_prepare() {
    patch -R -p1 < debian/patches/dont_propagate_lpthread.diff
    touch -d @315532800 sdl-config.in sdl.pc.in
}
sdl_conf=(--disable-stdio-redirect --disable-nasm --disable-rpath)
cmake_conf=(-DCMAKE_TOOLCHAIN_FILE="$PORT_TOOLCHAIN")
# strip stamps the current time into a PE header, or SOURCE_DATE_EPOCH when
# set: 0, as the linker leaves it, so the DLLs depend on the sources alone.
port_finish() {
    local f
    for f in "$prefix"/bin/*.dll; do
        SOURCE_DATE_EPOCH=0 "$host-strip" --strip-all "$f"
    done
}
