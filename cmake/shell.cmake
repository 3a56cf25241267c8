# cmake -DTARGET=NAME -P shell.cmake prints what the toolchain file NAME.cmake
# says of its target as shell assignments, for the scripts that build with
# configure or by hand: triplet, target_cc, target_cxx, target_cflags (the
# target's own, beyond the project's), target_ldflags and target_emulator.
include(${CMAKE_CURRENT_LIST_DIR}/${TARGET}.cmake)
function(say name value)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${name}='${value}'")
endfunction()
say(triplet "${triplet}")
say(target_cc "${CMAKE_C_COMPILER}")
say(target_cxx "${CMAKE_CXX_COMPILER}")
say(target_cflags "${CMAKE_C_FLAGS_INIT}")
say(target_ldflags "${CMAKE_EXE_LINKER_FLAGS_INIT}")
string(REPLACE ";" " " emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
say(target_emulator "${emulator}")
