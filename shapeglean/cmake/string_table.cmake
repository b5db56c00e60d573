# Writes the program's string table as C++ from the strings TSV
# (columns: id, English, Japanese, Simplified Chinese).
# In the texts, "\n" stands for a line break; any other backslash is a
# folder separator and becomes "/".
# Usage: cmake -DTSV=<strings.tsv> -DOUT=<string_table_data.inc> -P string_table.cmake
file(STRINGS "${TSV}" lines ENCODING UTF-8)
list(POP_FRONT lines)  # header
set(languages 1033 1041 2052)
set(body "// Generated from ${TSV}; do not edit.\n")
foreach(line IN LISTS lines)
  if(line MATCHES ";")
    message(FATAL_ERROR "string_table: a ';' in ${TSV} is not supported: ${line}")
  endif()
  string(REPLACE "\t" ";" cols "${line}")
  list(LENGTH cols n)
  if(NOT n EQUAL 4)
    message(FATAL_ERROR "string_table: expected 4 columns: ${line}")
  endif()
  list(GET cols 0 id)
  foreach(i 1 2 3)
    list(GET cols ${i} text)
    math(EXPR li "${i} - 1")
    list(GET languages ${li} lang)
    string(REPLACE "\\n" "@NEWLINE@" text "${text}")
    string(REPLACE "\\" "/" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "@NEWLINE@" "\\n" text "${text}")
    string(APPEND body "{${id}, ${lang}, u\"${text}\"},\n")
  endforeach()
endforeach()
file(WRITE "${OUT}.tmp" "${body}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
