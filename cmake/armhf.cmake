# 32-bit ARM Linux with hardware floating point (ARMv7), under qemu.
set(VASKILOIMU_PORT armhf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(triplet arm-linux-gnueabihf)
set(qemu arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
