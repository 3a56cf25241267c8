# What the Linux cross builds share, with Debian's cross compilers
# (crossbuild-essential-ARCH). Each architecture's file sets the port,
# triplet, and qemu to the name of qemu-user's emulator where this machine
# cannot run the target's programs itself.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${triplet}-gcc)
set(CMAKE_CXX_COMPILER ${triplet}-g++)
# Static, SDL and all: the programs need nothing of the target installed,
# and run as qemu-ARCH-static -L /usr/TRIPLET PROGRAM.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
if(qemu)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu}-static -L /usr/${triplet})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
