# pad_to_exact_length(target length): after linking, pads the image to exactly
# `length` bytes and fails the build, naming the overshoot, when it is longer.
function(pad_to_exact_length target length)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DIMAGE=$<TARGET_FILE:${target}> -DLENGTH=${length}
            -P ${PROJECT_SOURCE_DIR}/cmake/PadImage.cmake
    VERBATIM)
endfunction()
