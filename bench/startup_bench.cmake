# Start-up phases on the build's scene archive (device, model parse, pictures, textures).
add_executable(startup_bench ${CMAKE_CURRENT_LIST_DIR}/startup_bench.cpp)
target_link_libraries(startup_bench PRIVATE hoardel_options hoardel_d3dx hoardel_d3d8 hoardel_xfile hoardel_media
                      hoardel_win32 benchmark::benchmark)
target_compile_definitions(startup_bench PRIVATE STARTUP_BENCH_DEFAULT_ARCHIVE="${PROJECT_BINARY_DIR}/media/469.rar")
add_dependencies(startup_bench hoardel_media_archives)
