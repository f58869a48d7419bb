# The devserver's request handling: one received message in, one answer out, no sockets.
# The server and the libraries it calls are compiled once more with coverage.
find_package(PkgConfig REQUIRED)
pkg_check_modules(QV_FUZZ_SQLITE REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(QV_FUZZ_SODIUM REQUIRED IMPORTED_TARGET libsodium)
set(qv_fuzz_devserver_sources
  ${PROJECT_SOURCE_DIR}/devserver/Answers.cpp
  ${PROJECT_SOURCE_DIR}/devserver/Checks.cpp
  ${PROJECT_SOURCE_DIR}/devserver/Commands.cpp
  ${PROJECT_SOURCE_DIR}/devserver/Connections.cpp
  ${PROJECT_SOURCE_DIR}/devserver/Db.cpp
  ${PROJECT_SOURCE_DIR}/devserver/FileArea.cpp
  ${PROJECT_SOURCE_DIR}/devserver/Framing.cpp
  ${PROJECT_SOURCE_DIR}/devserver/RunSessions.cpp
  ${PROJECT_SOURCE_DIR}/devserver/RunSql.cpp
  ${PROJECT_SOURCE_DIR}/devserver/Runtime.cpp
  ${PROJECT_SOURCE_DIR}/devserver/Seed.cpp
  ${PROJECT_SOURCE_DIR}/devserver/Server.cpp
  ${PROJECT_SOURCE_DIR}/devserver/TraceFile.cpp
  ${PROJECT_SOURCE_DIR}/devserver/Transfer.cpp
  ${PROJECT_SOURCE_DIR}/webproc/HttpProcessor.cpp
  ${PROJECT_SOURCE_DIR}/webproc/HttpRequest.cpp
  ${PROJECT_SOURCE_DIR}/webproc/TableResult.cpp
  ${PROJECT_SOURCE_DIR}/webproc/Upload.cpp
  ${PROJECT_SOURCE_DIR}/roster/Roster.cpp
  ${PROJECT_SOURCE_DIR}/logbook/WStrace.cpp
  ${PROJECT_SOURCE_DIR}/vessel/Vessel.cpp)
add_library(devserver_fuzz STATIC ${qv_fuzz_devserver_sources})
qv_target_defaults(devserver_fuzz)
target_compile_options(devserver_fuzz PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
target_link_libraries(devserver_fuzz PUBLIC qv_common qv_net qv_os
  PkgConfig::QV_FUZZ_SQLITE PkgConfig::QV_FUZZ_SODIUM)

qv_fuzz(fuzz_devserver SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_devserver.cpp LINKS devserver_fuzz)
