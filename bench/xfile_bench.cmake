# Model loading: the largest test model and a generated room-sized model (compressed binary).
add_executable(xfile_bench ${CMAKE_CURRENT_LIST_DIR}/xfile_bench.cpp)
target_link_libraries(xfile_bench PRIVATE hoardel_options hoardel_model hoardel_xfile benchmark::benchmark)
target_compile_definitions(xfile_bench PRIVATE HOARDEL_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
