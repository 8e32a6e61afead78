# Pads a built image with zero bytes to its exact length, or fails naming the
# overshoot. Packages are appended at that length, so it must never drift.
# Usage: cmake -DIMAGE=file -DLENGTH=n -P PadImage.cmake
file(SIZE "${IMAGE}" size)
if(size GREATER LENGTH)
  math(EXPR over "${size} - ${LENGTH}")
  message(FATAL_ERROR "${IMAGE} is ${size} bytes, ${over} bytes over its fixed length of ${LENGTH}")
endif()
math(EXPR missing "${LENGTH} - ${size}")
if(missing GREATER 0)
  # file(APPEND) cannot write NUL bytes from a variable, so let truncate extend the file.
  execute_process(COMMAND truncate -s ${LENGTH} "${IMAGE}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "could not pad ${IMAGE}")
  endif()
endif()
