# Post-link check of the stub: the payload offset that the stub computes from its own
# section table must be exactly its file size, or an appended payload would not be found.
# Usage: cmake -DSTUB=<path to zaroza-sfx.exe> -P check-payload-offset.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT STUB OR NOT EXISTS "${STUB}")
  message(FATAL_ERROR "check-payload-offset: no stub given (-DSTUB=...)")
endif()

file(SIZE "${STUB}" fileSize)
# The headers of the stub lie in its first page.
file(READ "${STUB}" hex LIMIT 4096 HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR available "${hexLength} / 2")

# Little-endian unsigned value of `width` bytes at `offset`.
function(read_le offset width out)
  math(EXPR last "${offset} + ${width}")
  if(last GREATER available)
    message(FATAL_ERROR "check-payload-offset: ${STUB}: header field at ${offset} lies outside the first page")
  endif()
  set(value 0)
  math(EXPR i "${width} - 1")
  while(i GREATER_EQUAL 0)
    math(EXPR at "(${offset} + ${i}) * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR value "(${value} << 8) | 0x${byte}" OUTPUT_FORMAT DECIMAL)
    math(EXPR i "${i} - 1")
  endwhile()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

read_le(60 2 nt)                 # low half of e_lfanew
math(EXPR at "${nt} + 6")
read_le(${at} 2 sections)        # NumberOfSections
math(EXPR header "${nt} + 248")  # section table of a 32-bit image
set(count 1)
# Walk like the stub does: step to the next header, count it when its name begins with '.'.
while(TRUE)
  math(EXPR header "${header} + 40")
  read_le(${header} 1 firstChar)
  if(firstChar EQUAL 46)
    math(EXPR count "${count} + 1")
  endif()
  if(count GREATER_EQUAL sections)
    break()
  endif()
  math(EXPR walked "(${header} - ${nt} - 248) / 40 + 1")
  if(walked GREATER_EQUAL sections)
    message(FATAL_ERROR "check-payload-offset: ${STUB}: a section name does not begin with '.'")
  endif()
endwhile()

math(EXPR at "${header} + 20")
read_le(${at} 4 rawPointer)
math(EXPR at "${header} + 16")
read_le(${at} 4 rawSize)
math(EXPR payloadOffset "${rawPointer} + ${rawSize}")
if(NOT payloadOffset EQUAL fileSize)
  message(FATAL_ERROR "check-payload-offset: ${STUB}: the section table ends the image at "
                      "${payloadOffset}, but the file has ${fileSize} bytes; "
                      "something follows the last section (link with -s, do not strip afterwards)")
endif()
message(STATUS "check-payload-offset: ${STUB}: payload offset ${payloadOffset} = file size")
