# File-format detection: probelin-scan prints KVB_FileDtct's answer for each
# path of a list; scripts/bench-detect times it beside `file -b -f`.
add_executable(probelin-scan probelin_scan.cpp)
target_link_libraries(probelin-scan PRIVATE probelin)
