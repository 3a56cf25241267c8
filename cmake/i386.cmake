# 32-bit x86 Linux, run natively. SSE2 arithmetic as for Windows: the x87
# unit's excess precision would round timeline values otherwise than x86-64
# does (pentium4 is the oldest processor with SSE2).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triplet i686-linux-gnu)
set(CMAKE_C_FLAGS_INIT "-march=pentium4 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
