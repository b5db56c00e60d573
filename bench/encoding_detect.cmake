# Encoding detection: the speed of cconvChkEncode and dtctText, and a tool
# that prints dtctText's word for a list of files (timed against uchardet by
# bench/encoding-detect-timing).
add_executable(encoding_detect_bench encoding_detect_bench.cpp)
target_link_libraries(encoding_detect_bench PRIVATE dalvex benchmark::benchmark)

add_executable(dtct_text_tool dtct_text_tool.cpp)
target_link_libraries(dtct_text_tool PRIVATE dalvex)
