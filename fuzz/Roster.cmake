# The record table, compiled once more with coverage and sanitizers.
add_library(roster_fuzz STATIC ${PROJECT_SOURCE_DIR}/roster/Roster.cpp
                               ${PROJECT_SOURCE_DIR}/vessel/Vessel.cpp)
qv_target_defaults(roster_fuzz)
target_compile_options(roster_fuzz PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
target_link_libraries(roster_fuzz PUBLIC qv_common)

qv_fuzz(fuzz_roster SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/FuzzRoster.cpp LINKS roster_fuzz)
