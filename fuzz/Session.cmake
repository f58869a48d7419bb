# The answers the studio parses and the settings files it reads.
# The session core, the settings, the HTTP reader and the buffer are compiled once more
# with coverage and sanitizers, so faults inside them are seen, not only in the target.
set(qv_fuzz_session_sources
  ${PROJECT_SOURCE_DIR}/studio/session/Records.cpp
  ${PROJECT_SOURCE_DIR}/studio/session/Catalogue.cpp
  ${PROJECT_SOURCE_DIR}/studio/session/Layouts.cpp
  ${PROJECT_SOURCE_DIR}/studio/session/ServerSession.cpp
  ${PROJECT_SOURCE_DIR}/studio/session/ParseTable.cpp
  ${PROJECT_SOURCE_DIR}/studio/shell/StudioSettings.cpp
  ${PROJECT_SOURCE_DIR}/webproc/HttpProcessor.cpp
  ${PROJECT_SOURCE_DIR}/vessel/Vessel.cpp)
add_library(session_fuzz STATIC ${qv_fuzz_session_sources})
qv_target_defaults(session_fuzz)
target_compile_options(session_fuzz PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
target_link_libraries(session_fuzz PUBLIC qv_common qv_net qv_os)

qv_fuzz(fuzz_session_parse SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/FuzzSessionParse.cpp
        LINKS session_fuzz)
qv_fuzz(fuzz_settings_load SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/FuzzSettingsLoad.cpp
        LINKS session_fuzz)
