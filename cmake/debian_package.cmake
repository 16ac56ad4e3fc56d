# The Debian package, made by `make deb` (cpack -G DEB in the build folder): everything `cmake --install` puts
# under /usr, in one package texsynth_<version>_<architecture>.deb. The components are installed one by one
# into the package (so the build's install_manifest.txt, a local install's list for uninstalling, is left
# alone) and packed as one.
set(CPACK_PACKAGE_NAME texsynth)
set(CPACK_PACKAGE_VENDOR "The texsynth developers")
set(CPACK_PACKAGE_CONTACT "The texsynth developers <maintainers@users.noreply.c-seed-4c6f4add.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "textures, filled holes and tileable pictures made of an exemplar's pixels")
# Under the summary (CPack puts it first): what it does, then what the package holds.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "texsynth makes a texture of any size from a small example picture of it (PNG, JPEG
or BMP), fills a masked hole in a photo from the rest of it, or makes a photo tile
without a seam. Every pixel of a result is a pixel of the example, found by matching
neighbourhoods on image pyramids, coarse to fine; the same inputs and seed give the
same bytes on any number of threads.

The package holds the program texsynth with its manual page and bash completion, the
shared library libtexsynth.so.0.4 with its C++ headers, CMake package and pkg-config
file, and the Python module texsynth for python3, working on NumPy arrays.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

# The C and C++ runtime, ANN, libpng and libjpeg-turbo come from dpkg-shlibdeps, which reads what the program,
# the library and the module link; the program finds the library in the package itself. The module needs the
# Python it was built for and NumPy; its batches (texsynth.batch) want Dask's distributed scheduler.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/${CMAKE_INSTALL_LIBDIR})
# What a package built against libtexsynth.so.0.4 depends on (dpkg-shlibdeps reads it): this package, of this
# version or later. Written here rather than by CPack, which would also look for a SONAME in the Python module.
file(WRITE ${PROJECT_BINARY_DIR}/debian/shlibs
  "libtexsynth ${TEXSYNTH_SOVERSION} texsynth (>= ${PROJECT_VERSION})\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/shlibs)
if(TEXSYNTH_PYTHON_BUILT)
  math(EXPR texsynth_next_python_minor "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= 3.${Python3_VERSION_MINOR}), \
python3 (<< 3.${texsynth_next_python_minor}), python3-numpy")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-distributed")
endif()

include(CPack)
