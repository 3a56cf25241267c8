# WebAssembly for web browsers, with Debian's emscripten and its own
# toolchain file. WebAssembly's 128-bit vectors, which every current
# browser runs, for the effects' loops.
set(VASKILOIMU_PORT web)
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_C_FLAGS_INIT "-msimd128")
set(CMAKE_CXX_FLAGS_INIT "-msimd128")
