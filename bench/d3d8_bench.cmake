# Direct3D 8 stand-in: CPU cost of DrawPrimitiveUP per quad, 2,000 quads a frame.
add_executable(d3d8_bench ${CMAKE_CURRENT_LIST_DIR}/d3d8_bench.cpp)
target_link_libraries(d3d8_bench PRIVATE hoardel_options hoardel_d3d8 PkgConfig::GL benchmark::benchmark)
