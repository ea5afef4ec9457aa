# The Debian package: CPack's DEB generator packs whatever `cmake --install`
# installs, under /usr, with the two files that Debian asks of every package
# in its doc folder. Build it with scripts/package.
include(GNUInstallDirs)

# Folders made by the install are 0755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME aseview)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "aseview maintainers <maintainers@users.noreply.c-seed-2ca20156.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive viewer for ASE triangle meshes")
set(CPACK_PACKAGE_DESCRIPTION
    "aseview shows a triangle mesh stored as an ASE text file in an OpenGL window,
with a sphere-mapped Targa environment texture and per-vertex colours that
cycle from frame to frame. Dragging stretches or turns the model and can set
it spinning; seven keys and a pop-up menu switch the smear axes, the rotation
modes, wireframe drawing and the shading.

aseview-export writes models as glTF 2.0 binaries with their textures.

make_knot and make_texture write the default model and texture (installed in
/usr/share/aseview); make_screenshot saves the viewer's first frame as a PNG,
on an Xvfb of its own when there is no display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# make_screenshot, and all that is built on it, runs without a display on an Xvfb.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xvfb)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

# The copyright file in Debian's machine-readable format, from LICENSE: its
# copyright line, and the rest indented with empty lines as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)\n\n(.*)" _ "${licence}")
set(aseview_copyright ${CMAKE_MATCH_1})
string(STRIP "${CMAKE_MATCH_2}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " aseview_licence " ${licence}")
configure_file(${PROJECT_SOURCE_DIR}/package/copyright.in ${PROJECT_BINARY_DIR}/package/copyright
               @ONLY)

# The changelog, compressed as Debian does (no name, no time in the header).
set(aseview_package_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
configure_file(${PROJECT_SOURCE_DIR}/package/changelog.in
               ${PROJECT_BINARY_DIR}/package/changelog.Debian @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/package/changelog.Debian.gz
  COMMAND ${GZIP} -9nkf ${PROJECT_BINARY_DIR}/package/changelog.Debian
  DEPENDS ${PROJECT_BINARY_DIR}/package/changelog.Debian VERBATIM)
add_custom_target(package_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/package/changelog.Debian.gz)
install(FILES ${PROJECT_BINARY_DIR}/package/copyright
              ${PROJECT_BINARY_DIR}/package/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
