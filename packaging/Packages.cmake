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
# are found in the build tree and named below. A package built against 2.1 runs with any
# later 2.x (>=); the development packages go with their libraries' exact version, as
# their .so links point into them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The folders the libraries are built in (CPack reads plain values, no generator expressions).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${PROJECT_BINARY_DIR}/vessel ${PROJECT_BINARY_DIR}/roster ${PROJECT_BINARY_DIR}/logbook
  ${PROJECT_BINARY_DIR}/webproc ${PROJECT_BINARY_DIR}/lister ${PROJECT_BINARY_DIR}/platform/gui)
# What the packages need after CPack: Multi-Arch, no ldconfig in maintainer scripts (the
# trigger runs it), no .comment sections (debian/finish-debs.sh).
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/debian/FinishDebs.cmake)

foreach(component IN LISTS QV_COMPONENTS)
  string(TOUPPER ${component} C)
  set(CPACK_DEBIAN_${C}_PACKAGE_NAME ${QV_PACKAGE_${component}})
  set(qv_at_least_${component} "${QV_PACKAGE_${component}} (>= ${PROJECT_VERSION})")
  set(qv_exact_${component} "${QV_PACKAGE_${component}} (= ${PROJECT_VERSION})")
endforeach()

# The library packages: a symbols file each (debian/<package>.symbols: one version node per
# soname) and dpkg's ldconfig trigger.
foreach(component IN LISTS QV_LIBRARY_COMPONENTS)
  string(TOUPPER ${component} C)
  set(pkg ${QV_PACKAGE_${component}})
  set(CPACK_DEBIAN_${C}_PACKAGE_SECTION libs)
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/control/${pkg})
  configure_file(debian/${pkg}.symbols ${CMAKE_CURRENT_BINARY_DIR}/control/${pkg}/symbols COPYONLY)
  set(CPACK_DEBIAN_${C}_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/libs/triggers
    ${CMAKE_CURRENT_BINARY_DIR}/control/${pkg}/symbols)
endforeach()

set(CPACK_COMPONENT_VESSEL_DESCRIPTION "Quorvel growable character buffers
libvessel holds Vessel and VesselU, owned buffers of 8-bit and 16-bit
characters that grow as content is appended, with searching in place. It is
one of the Quorvel application server's libraries.")
set(CPACK_DEBIAN_ROSTER_PACKAGE_DEPENDS "${qv_at_least_vessel}")
set(CPACK_COMPONENT_ROSTER_DESCRIPTION "Quorvel tables of fixed-width records
libroster holds Roster and RosterU, in-memory result tables of fixed-width
text cells (8-bit and UTF-16), with row and cell attributes for rendering
them as HTML. It is one of the Quorvel application server's libraries.")
set(CPACK_COMPONENT_LOGBOOK_DESCRIPTION "Quorvel trace file shared by threads
liblogbook holds WStrace, an append-only trace file written one time-stamped
line per call by any thread of a process, which can be read or emptied
meanwhile. It is one of the Quorvel application server's libraries.")
set(CPACK_DEBIAN_WEBPROC_PACKAGE_DEPENDS
  "${qv_at_least_vessel}, ${qv_at_least_roster}, ${qv_at_least_logbook}")
set(CPACK_COMPONENT_WEBPROC_DESCRIPTION "Quorvel HTTP message processing
libwebproc holds HttpProcessor (HTTP message scanning, request names and form
parameters, multipart upload storage) and the rendering of result tables
into HTML pages through page templates. It is one of the Quorvel
application server's libraries.")
set(CPACK_COMPONENT_GUI_DESCRIPTION "Quorvel Studio windowing layer on Qt 6
libqv_gui gives the Quorvel Studio the vocabulary of a multiple-document
desktop program (frame, menus, toolbar, dialogs, child windows and a painter
for fixed-pitch text) on Qt 6 Widgets, Qt Charts and QScintilla.")
set(CPACK_DEBIAN_LISTER_PACKAGE_DEPENDS "${qv_at_least_gui}")
set(CPACK_COMPONENT_LISTER_DESCRIPTION "Quorvel scrolling record-list control
liblister holds WBrowse, the scrolling one-line-per-record list control of
the Quorvel Studio, drawn through its windowing layer.")

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "${qv_exact_vessel}, ${qv_exact_roster}, ${qv_exact_logbook}, ${qv_exact_webproc}")
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DEV_DESCRIPTION "Quorvel libraries: development files
Headers, the CMake package (find_package(Quorvel CONFIG COMPONENTS webproc)
with the targets Quorvel::vessel, Quorvel::roster, Quorvel::logbook and
Quorvel::webproc) and pkg-config files (quorvel-webproc and the others) for
building against the Quorvel libraries libvessel, libroster, liblogbook and
libwebproc. Nothing of it needs Qt.")

set(CPACK_DEBIAN_GUIDEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_GUIDEV_PACKAGE_DEPENDS
  "${qv_exact_dev}, ${qv_exact_gui}, ${qv_exact_lister}")
set(CPACK_DEBIAN_GUIDEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_GUIDEV_DESCRIPTION "Quorvel Studio windowing layer: development files
Headers, CMake components (Quorvel::gui, Quorvel::lister) and pkg-config files
(quorvel-gui, quorvel-lister) for building against the Quorvel Studio's
windowing layer and its record-list control liblister.")

set(CPACK_DEBIAN_STUDIO_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_STUDIO_PACKAGE_DEPENDS
  "${qv_at_least_vessel}, ${qv_at_least_webproc}, ${qv_at_least_gui}, ${qv_at_least_lister}")
set(CPACK_COMPONENT_STUDIO_DESCRIPTION "administration studio for Quorvel application servers
quorvelide, a Qt desktop program to administer a Quorvel application server:
applications, requests and their SQL scripts, data sources, users, the files
of an application, server configuration, traces and a live monitor.")

set(CPACK_DEBIAN_CLI_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "${qv_at_least_vessel}, ${qv_at_least_webproc}")
set(CPACK_COMPONENT_CLI_DESCRIPTION "command-line client for Quorvel application servers
quorvel-cli runs one command of a Quorvel server's administration catalogue
per call and prints the answer as lines or as JSON, for scripts and terminals.")

set(CPACK_DEBIAN_DEVSERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_DEVSERVER_PACKAGE_DEPENDS "${qv_at_least_vessel}, ${qv_at_least_roster}, \
${qv_at_least_logbook}, ${qv_at_least_webproc}, adduser")
set(CPACK_DEBIAN_DEVSERVER_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/devserver/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/devserver/postrm)
set(CPACK_COMPONENT_DEVSERVER_DESCRIPTION "stand-in Quorvel application server
quorvel-devserver answers the administration commands of a Quorvel
application server and keeps its state in SQLite and files, so the studio and
quorvel-cli can be used and tested on one machine. A systemd unit, disabled
by default, runs it as its own user on /var/lib/quorvel-devserver.")

include(CPack)
