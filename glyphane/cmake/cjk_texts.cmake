# Script mode: makes the C++ source of the fixed CJK texts from their UTF-8
# list, with each text's code page 932 (CP932) and GBK bytes made by iconv.
#   cmake -DINPUT=cjk_texts.tsv -DOUTPUT=cjk_texts.cpp -DICONV=/usr/bin/iconv -P cjk_texts.cmake
file(STRINGS "${INPUT}" lines ENCODING UTF-8)

function(escaped_bytes text charset out)
  set(tmp "${OUTPUT}.in")
  file(WRITE "${tmp}" "${text}")
  if(charset STREQUAL "UTF-8")
    set(bin "${tmp}")
  else()
    set(bin "${OUTPUT}.bin")
    execute_process(COMMAND "${ICONV}" -f UTF-8 -t ${charset} "${tmp}"
                    OUTPUT_FILE "${bin}" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "iconv cannot write \"${text}\" in ${charset}")
    endif()
  endif()
  file(READ "${bin}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
  set(${out} "${escaped}" PARENT_SCOPE)
endfunction()

set(body "")
set(names "")
foreach(line IN LISTS lines)
  if(line MATCHES "^#" OR line STREQUAL "")
    continue()
  endif()
  string(REGEX MATCH "^([a-z_]+)\t(.*)$" found "${line}")
  if(NOT found)
    message(FATAL_ERROR "bad line in ${INPUT}: ${line}")
  endif()
  set(name "${CMAKE_MATCH_1}")
  set(text "${CMAKE_MATCH_2}")
  escaped_bytes("${text}" "UTF-8" utf8)
  escaped_bytes("${text}" "CP932" sjis)
  escaped_bytes("${text}" "GBK" gbk)
  string(APPEND body "    {\"${name}\", \"${utf8}\", \"${sjis}\", \"${gbk}\"},\n")
endforeach()

file(WRITE "${OUTPUT}.new"
"// Generated from cjk_texts.tsv by cmake/cjk_texts.cmake; do not edit.\n"
"#include \"cjk_texts.h\"\n\n"
"namespace glyphane {\n\n"
"const CjkTextEntry kCjkTextEntries[] = {\n${body}};\n"
"const size_t kCjkTextEntryCount = sizeof kCjkTextEntries / sizeof kCjkTextEntries[0];\n\n"
"}  // namespace glyphane\n")
file(REMOVE "${OUTPUT}.in" "${OUTPUT}.bin")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
