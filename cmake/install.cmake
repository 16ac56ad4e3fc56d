# What `cmake --install` puts where under the prefix, in four components (`--component NAME` installs one):
#   program      bin/texsynth, its manual page texsynth(1) and its bash completion
#   library      lib/libtexsynth.so.0.4 (the shared library, by its SONAME) and the copyright
#   development  include/texsynth/, lib/libtexsynth.so, the CMake package lib/cmake/texsynth/, the pkg-config
#                file lib/pkgconfig/texsynth.pc and an example program in share/doc/texsynth/examples/
#   python       the Python module (python/CMakeLists.txt)
# Paths that depend on where it is installed (the pkg-config file's, the Python module's, the program's
# RUNPATH) are decided when installing, so that one build serves `--prefix DIR`, /usr/local and the Debian
# package (/usr).
include(CMakePackageConfigHelpers)

# The program finds the library beside it (<prefix>/lib) under any prefix; under /usr, where the dynamic
# linker looks anyway, it needs no RUNPATH.
set_target_properties(texsynth PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS texsynth RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    file(RPATH_REMOVE FILE \"\$ENV{DESTDIR}/usr/${CMAKE_INSTALL_BINDIR}/texsynth\")
  endif()" COMPONENT program)

# The manual page, with the version filled in and compressed as Debian keeps them.
configure_file(man/texsynth.1 ${PROJECT_BINARY_DIR}/man/texsynth.1 @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/texsynth.1.gz
  COMMAND gzip -9 -n -f -k ${PROJECT_BINARY_DIR}/man/texsynth.1
  DEPENDS ${PROJECT_BINARY_DIR}/man/texsynth.1
  VERBATIM)
add_custom_target(texsynth_manual_page ALL DEPENDS ${PROJECT_BINARY_DIR}/man/texsynth.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/man/texsynth.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
install(FILES completion/texsynth.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME texsynth COMPONENT program)

install(TARGETS texsynth_library EXPORT texsynth-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright COMPONENT library)

install(DIRECTORY include/texsynth ${PROJECT_BINARY_DIR}/include/texsynth
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
set(texsynth_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/texsynth)
install(EXPORT texsynth-targets NAMESPACE texsynth:: DESTINATION ${texsynth_cmake_dir} COMPONENT development)
configure_package_config_file(cmake/texsynth-config.cmake.in ${PROJECT_BINARY_DIR}/texsynth-config.cmake
  INSTALL_DESTINATION ${texsynth_cmake_dir})
# Versions 0.x may change the interface at every minor version.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/texsynth-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/texsynth-config.cmake ${PROJECT_BINARY_DIR}/texsynth-config-version.cmake
  DESTINATION ${texsynth_cmake_dir} COMPONENT development)
install(CODE "
  set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
  set(libdir \"${CMAKE_INSTALL_LIBDIR}\")
  set(includedir \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(version \"${PROJECT_VERSION}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/texsynth.pc.in\" \"${PROJECT_BINARY_DIR}/texsynth.pc\" @ONLY)"
  COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/texsynth.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
install(FILES examples/CMakeLists.txt examples/make_texture.cpp DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
  COMPONENT development)
