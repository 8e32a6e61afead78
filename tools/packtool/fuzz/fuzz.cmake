# The libFuzzer target packtool-fuzz: reads arbitrary bytes as a packaged file
# and formats the report `packtool show` prints. libFuzzer needs clang, while
# this tree may be built with g++, so clang++ is called directly on the
# sources (library and core alike, so all of them carry coverage).
find_program(PACKTOOL_CLANGXX NAMES clang++ clang++-14)
if(PACKTOOL_CLANGXX)
  set(packtool_fuzz_default ON)
else()
  set(packtool_fuzz_default OFF)
endif()
option(PACKTOOL_FUZZ "Build the libFuzzer target packtool-fuzz with clang++ and its smoke test" ${packtool_fuzz_default})

if(PACKTOOL_FUZZ)
  if(NOT PACKTOOL_CLANGXX)
    message(FATAL_ERROR "PACKTOOL_FUZZ needs clang++, which was not found")
  endif()
  set(packtool_dir ${CMAKE_CURRENT_SOURCE_DIR})
  set(core_dir ${PROJECT_SOURCE_DIR}/core)
  set(fuzz_sources
    ${packtool_dir}/fuzz/packtool_fuzz.cpp
    ${packtool_dir}/byte_source.cpp
    ${packtool_dir}/codepage.cpp
    ${packtool_dir}/package_reader.cpp
    ${packtool_dir}/report_format.cpp
    ${core_dir}/package_layout.cpp)
  file(GLOB fuzz_headers ${packtool_dir}/*.h ${core_dir}/*.h)
  set(fuzz_binary ${CMAKE_CURRENT_BINARY_DIR}/packtool-fuzz)
  add_custom_command(OUTPUT ${fuzz_binary}
    COMMAND ${PACKTOOL_CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
            -fno-sanitize-recover=all -I${packtool_dir} -I${core_dir} ${fuzz_sources} -o ${fuzz_binary}
    DEPENDS ${fuzz_sources} ${fuzz_headers}
    COMMENT "Building the libFuzzer target packtool-fuzz with clang++"
    VERBATIM)
  add_custom_target(packtool-fuzz ALL DEPENDS ${fuzz_binary})

  # A few seconds over the seeds: new inputs go to a scratch corpus in the
  # build tree, never into the seeds in the source tree.
  set(smoke_dir ${CMAKE_CURRENT_BINARY_DIR}/fuzz-smoke)
  file(MAKE_DIRECTORY ${smoke_dir}/corpus)
  add_test(NAME packtool_fuzz_smoke
    COMMAND ${fuzz_binary} -runs=4000 -max_total_time=30 -seed=1 -artifact_prefix=${smoke_dir}/
            ${smoke_dir}/corpus ${packtool_dir}/fuzz/corpus
    WORKING_DIRECTORY ${smoke_dir})
endif()
