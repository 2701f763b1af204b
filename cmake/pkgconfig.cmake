# vantrel.pc, written when the project is installed, so that its paths are
# those of the installation: `cmake --install --prefix /opt/vantrel` and a
# Debian layout (prefix /usr, libdir lib/x86_64-linux-gnu) both get theirs.
# Paths are absolute; DESTDIR is a staging area and is not part of them.
#
#   prefix /usr, libdir lib/x86_64-linux-gnu
#     => libdir=/usr/lib/x86_64-linux-gnu, Cflags: -I/usr/include
#
# The flags carry no language standard (the host chooses; C++17 or later)
# and no run path (the host or its packager decides where the loader looks).
set(VANTREL_PC_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/vantrel.pc.in")
install(CODE "
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(PROJECT_HOMEPAGE_URL \"${PROJECT_HOMEPAGE_URL}\")
  set(VANTREL_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(VANTREL_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(VANTREL_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  foreach(var VANTREL_PC_LIBDIR VANTREL_PC_INCLUDEDIR)
    if(NOT IS_ABSOLUTE \"\${\${var}}\")
      set(\${var} \"\${CMAKE_INSTALL_PREFIX}/\${\${var}}\")
    endif()
  endforeach()
  configure_file(\"${VANTREL_PC_TEMPLATE}\" \"${CMAKE_CURRENT_BINARY_DIR}/vantrel.pc\" @ONLY)
  file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/vantrel.pc\"
    DESTINATION \"\${VANTREL_PC_LIBDIR}/pkgconfig\")
" COMPONENT development)
