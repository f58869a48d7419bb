# The Debian packages: `cpack -G DEB` in the build folder writes one .deb per component.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorvel Studio developers")
set(CPACK_PACKAGE_CONTACT "Quorvel Studio developers <quorvel-studio@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://example.org/quorvel-studio")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${QV_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies on system libraries (Qt, QScintilla, Qt Charts, SQLite, libsodium, the C++
# runtime) come from dpkg-shlibdeps, under the names Debian gives them; our own libraries
# are found in the build tree and named below with the exact version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
# The folders the libraries are built in (CPack reads plain values, no generator expressions).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${PROJECT_BINARY_DIR}/vessel ${PROJECT_BINARY_DIR}/roster ${PROJECT_BINARY_DIR}/logbook
  ${PROJECT_BINARY_DIR}/webproc ${PROJECT_BINARY_DIR}/lister ${PROJECT_BINARY_DIR}/platform/gui)

set(qv_exact "(= ${PROJECT_VERSION})")
set(qv_libs "${QV_PACKAGE_libs} ${qv_exact}")
set(qv_guilibs "${QV_PACKAGE_guilibs} ${qv_exact}")

foreach(component IN LISTS QV_COMPONENTS)
  string(TOUPPER ${component} C)
  set(CPACK_DEBIAN_${C}_PACKAGE_NAME ${QV_PACKAGE_${component}})
endforeach()

# The libraries' packages let dpkg run ldconfig through its trigger.
set(CPACK_DEBIAN_LIBS_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/libs/triggers)
set(CPACK_DEBIAN_GUILIBS_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/libs/triggers)

set(CPACK_DEBIAN_LIBS_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBS_DESCRIPTION "Quorvel libraries: buffers, tables, trace and HTTP processing
The shared libraries libvessel (growable character buffers), libroster (tables
of fixed-width records), liblogbook (a trace file shared by threads) and
libwebproc (HTTP message scanning, multipart upload and the rendering of
result tables into pages) of the Quorvel application server.")

set(CPACK_DEBIAN_GUILIBS_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_GUILIBS_PACKAGE_DEPENDS "${qv_libs}")
set(CPACK_COMPONENT_GUILIBS_DESCRIPTION "Quorvel libraries: windowing layer and record list
The Quorvel Studio's windowing layer on Qt 6 (libqv_gui) and liblister, the
scrolling record-list control drawn through it.")

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${qv_libs}")
if(QV_BUILD_GUI)
  string(APPEND CPACK_DEBIAN_DEV_PACKAGE_DEPENDS ", ${qv_guilibs}")
endif()
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DEV_DESCRIPTION "Quorvel libraries: development files
Headers, the CMake package (find_package(Quorvel CONFIG) with the targets
Quorvel::vessel, Quorvel::roster, Quorvel::logbook, Quorvel::webproc and
Quorvel::lister) and pkg-config files (quorvel-webproc and the others) for
building against the Quorvel libraries.")

set(CPACK_DEBIAN_STUDIO_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_STUDIO_PACKAGE_DEPENDS "${qv_libs}, ${qv_guilibs}")
set(CPACK_COMPONENT_STUDIO_DESCRIPTION "administration studio for Quorvel application servers
quorvelide, a Qt desktop program to administer a Quorvel application server:
applications, requests and their SQL scripts, data sources, users, the files
of an application, server configuration, traces and a live monitor.")

set(CPACK_DEBIAN_CLI_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "${qv_libs}")
set(CPACK_COMPONENT_CLI_DESCRIPTION "command-line client for Quorvel application servers
quorvel-cli runs one command of a Quorvel server's administration catalogue
per call and prints the answer as lines or as JSON, for scripts and terminals.")

set(CPACK_DEBIAN_DEVSERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_DEVSERVER_PACKAGE_DEPENDS "${qv_libs}, adduser")
set(CPACK_DEBIAN_DEVSERVER_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/devserver/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/devserver/postrm)
set(CPACK_COMPONENT_DEVSERVER_DESCRIPTION "stand-in Quorvel application server
quorvel-devserver answers the administration commands of a Quorvel
application server and keeps its state in SQLite and files, so the studio and
quorvel-cli can be used and tested on one machine. A systemd unit, disabled
by default, runs it as its own user on /var/lib/quorvel-devserver.")

include(CPack)
