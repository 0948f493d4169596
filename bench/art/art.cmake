# Measuring the picture: the treasure census of captures and contact sheets (see measure.sh).
add_executable(treasure_census ${CMAKE_CURRENT_LIST_DIR}/treasure_census.cpp)
target_link_libraries(treasure_census PRIVATE hoardel_options PNG::PNG)
add_executable(contact_sheet ${CMAKE_CURRENT_LIST_DIR}/contact_sheet.cpp)
target_link_libraries(contact_sheet PRIVATE hoardel_options PNG::PNG)
set_target_properties(treasure_census contact_sheet PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/art)
