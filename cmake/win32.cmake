# 32-bit Windows with Debian's mingw-w64. The flags are the whole of them:
# the build compiles the program with them, ports/deps.sh the libraries.
set(VASKILOIMU_PORT win32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)
set(triplet i686-w64-mingw32)
# The win32 thread model needs no winpthread DLL.
set(CMAKE_C_COMPILER ${triplet}-gcc-win32)
set(CMAKE_CXX_COMPILER ${triplet}-g++-win32)
set(CMAKE_RC_COMPILER ${triplet}-windres)
# pentium4 is the oldest processor with SSE2; -mfpmath=sse evaluates doubles
# as IEEE doubles where the x87 unit would keep excess precision and
# truncate some timeline values differently than other builds do. Fast math
# off last: libvorbis asks for it, and a DLL linked with it gets start-up
# code that changes the floating point mode of the whole process.
set(CMAKE_C_FLAGS_INIT "-O2 -march=pentium4 -msse2 -mfpmath=sse -ffp-contract=off -fno-fast-math")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
# Without the timestamp every link differs; without -static-libgcc every
# binary needs libgcc's DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT}")
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
