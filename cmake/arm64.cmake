# 64-bit ARM Linux, under qemu.
set(VASKILOIMU_PORT arm64)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triplet aarch64-linux-gnu)
set(qemu aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
