# packtool.exe under Wine with the images it embedded: build a package with
# music, check that show calls it valid, extract it and compare every file.
# Usage: cmake -DPACKTOOL=packtool.exe -DEMULATOR=wine-run.sh -DWORK=dir -P exe_roundtrip.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
string(REPEAT "projector bytes " 200 projector)
string(REPEAT "MThd song bytes " 40 song)
file(WRITE "${WORK}/projector.exe" "${projector}")
file(WRITE "${WORK}/song.mid" "${song}")

function(run_packtool)
  execute_process(COMMAND ${EMULATOR} "${PACKTOOL}" ${ARGN}
    WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "packtool.exe ${ARGN} ended with ${code}:\n${out}${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

run_packtool(build --projector projector.exe --song song.mid --play loop --title "Café €"
             --variant nine -o show.exe)
run_packtool(show show.exe --json)
foreach(expected [["launcher": {"known": true, "variant": "nine"]] [["title_bytes": "436166e92080"]]
                 [["valid": true]])
  string(FIND "${output}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "show does not say ${expected}:\n${output}")
  endif()
endforeach()
run_packtool(extract show.exe -d unpacked)
foreach(pair "projector.exe;projector.exe" "song.mid;Midi.mid")
  list(GET pair 0 given)
  list(GET pair 1 written)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/${given}" "${WORK}/unpacked/${written}"
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "unpacked/${written} differs from ${given}")
  endif()
endforeach()
file(READ "${WORK}/unpacked/ml.dat" flag)
file(SIZE "${WORK}/unpacked/Midi.exe" player_size)
if(NOT flag STREQUAL "1" OR NOT player_size EQUAL 17408)
  message(FATAL_ERROR "ml.dat holds '${flag}' and Midi.exe has ${player_size} bytes")
endif()
