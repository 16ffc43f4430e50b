# Post-link check of the stub: what other LHA readers need to open a package. They look
# for the first "-l??-" from the file's start and take it for the archive's first member
# header, so the stub must hold no such pattern; and some (lhasa) give up when none begins
# within the first 64 KiB, so the stub and the 512-byte block must leave the archive there.
# Usage: cmake -DSTUB=<path to zaroza-sfx.exe> -P check-package-readers.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT STUB OR NOT EXISTS "${STUB}")
  message(FATAL_ERROR "check-package-readers: no stub given (-DSTUB=...)")
endif()

file(SIZE "${STUB}" fileSize)
math(EXPR archiveOffset "${fileSize} + 512")
if(archiveOffset GREATER 65536)
  message(FATAL_ERROR "check-package-readers: ${STUB}: ${fileSize} bytes; a package's archive would begin at "
                      "${archiveOffset}, beyond the first 64 KiB where LHA readers look for it (at most 65024)")
endif()

file(READ "${STUB}" hex HEX)
# "-l" is 2d6c; a hit counts only at a byte boundary (an even place in the hex text).
set(from 0)
while(TRUE)
  string(SUBSTRING "${hex}" ${from} -1 rest)
  string(FIND "${rest}" "2d6c" at)
  if(at EQUAL -1)
    break()
  endif()
  math(EXPR at "${from} + ${at}")
  math(EXPR odd "${at} % 2")
  if(odd EQUAL 0)
    math(EXPR dash "${at} + 8")
    string(SUBSTRING "${hex}" ${dash} 2 fifth)
    if(fifth STREQUAL "2d")
      math(EXPR offset "${at} / 2")
      string(SUBSTRING "${hex}" ${at} 10 bytes)
      message(FATAL_ERROR "check-package-readers: ${STUB}: the bytes ${bytes} at offset ${offset} read as "
                          "an LHA method id; build or compare such ids in pieces")
    endif()
  endif()
  math(EXPR from "${at} + 1")
endwhile()
message(STATUS "check-package-readers: ${STUB}: ${fileSize} bytes, no method id pattern")
