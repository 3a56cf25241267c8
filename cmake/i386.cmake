# 32-bit x86 Linux, under qemu: a 64-bit kernel need not run 32-bit
# programs. SSE2 arithmetic as for Windows: the x87 unit's excess precision
# would round timeline values otherwise than x86-64 does (pentium4 is the
# oldest processor with SSE2).
set(VASKILOIMU_PORT i386)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triplet i686-linux-gnu)
set(qemu i386)
set(CMAKE_C_FLAGS_INIT "-march=pentium4 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
