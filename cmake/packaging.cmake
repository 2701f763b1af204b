# Debian packages of the installation (`make package`, CPack):
#   libvantrel<major>  the shared library                  (component runtime)
#   libvantrel-dev     headers, link name, CMake package,  (component development)
#                      pkg-config; depends on the library of the same version
#   vantrel-tools      vantrel-config, vantrel-timeline    (component tools)
# Configure with -DCMAKE_INSTALL_PREFIX=/usr so that the library goes to the
# multiarch directory (lib/x86_64-linux-gnu); dependencies on system
# libraries come from dpkg-shlibdeps.
set(VANTREL_PACKAGE_MAINTAINER "Vantrel developers <vantrel@example.org>"
  CACHE STRING "The Maintainer field of the Debian packages")

set(VANTREL_RUNTIME_PACKAGE libvantrel${PROJECT_VERSION_MAJOR})
set(VANTREL_DOC_PACKAGES runtime:${VANTREL_RUNTIME_PACKAGE} development:libvantrel-dev)
if(VANTREL_BUILD_TOOLS)
  list(APPEND VANTREL_DOC_PACKAGES tools:vantrel-tools)
endif()

# Each package carries its copyright file and a compressed changelog.
set(changelog "${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz")
string(TIMESTAMP VANTREL_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file("${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in"
  "${CMAKE_CURRENT_BINARY_DIR}/debian/changelog" @ONLY)
file(ARCHIVE_CREATE OUTPUT "${changelog}" PATHS "${CMAKE_CURRENT_BINARY_DIR}/debian/changelog"
  FORMAT raw COMPRESSION GZip COMPRESSION_LEVEL 9)
foreach(entry IN LISTS VANTREL_DOC_PACKAGES)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 component)
  list(GET entry 1 package)
  install(FILES "${CMAKE_CURRENT_LIST_DIR}/debian/copyright"
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  install(FILES "${changelog}" DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    RENAME changelog.Debian.gz COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel developers")
set(CPACK_PACKAGE_CONTACT "${VANTREL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
if(VANTREL_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${VANTREL_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# A shlibs file for packages built against it, and the loader's cache
# refreshed through dpkg's ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/debian/triggers" "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_BINARY_DIR}/debian/triggers")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "tracing library for C++ programs
Vantrel writes leveled trace messages, with the time, process, thread and
the thread's execution context, as records of rotating text or XML log
files. Settings come from environment variables, a configuration file in a
small statement language, and an administration interface.

This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvantrel-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SUGGESTS "libfmt-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "tracing library for C++ programs - development files
Vantrel writes leveled trace messages, with the time, process, thread and
the thread's execution context, as records of rotating text or XML log
files.

This package holds the headers, the CMake package (find_package(Vantrel))
and the pkg-config file (vantrel). The optional {} front end,
<Vantrel/Format.h>, needs libfmt-dev.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME vantrel-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "tracing library for C++ programs - tools
Vantrel writes leveled trace messages as records of rotating text or XML
log files.

This package holds vantrel-config, which runs a trace configuration file
and prints the settings it leaves, and vantrel-timeline, which turns trace
logs into a timeline (summary, trace-event JSON or an HTML page).")

include(CPack)
