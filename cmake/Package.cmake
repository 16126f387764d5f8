# The Debian package of the Linux build (scripts/deb.sh runs CPack on it):
# spihost_<version>_amd64.deb, installing into /usr whatever prefix the build
# was configured with. GNOME runs thumbnailers in a sandbox that shows them
# /usr and little else, so only there do file managers get icons.
set(SPI_DEB_FILES "${CMAKE_BINARY_DIR}/deb-files")
set(SPI_DEB_MAINTAINER "Kestrov <susie-plugins@kestrov.example>")

# Debian wants the manual page and the changelog gzipped, without a time stamp
# (-n), so that two builds give the same bytes.
configure_file(share/debian/changelog.in "${SPI_DEB_FILES}/changelog" @ONLY)
set(gzipped)
foreach(pair "docs/spihost.1;spihost.1.gz" "${SPI_DEB_FILES}/changelog;changelog.gz")
  list(GET pair 0 source)
  list(GET pair 1 name)
  get_filename_component(source "${source}" ABSOLUTE)
  add_custom_command(OUTPUT "${SPI_DEB_FILES}/${name}"
                     COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" "${source}" "${SPI_DEB_FILES}/${name}"
                     DEPENDS "${source}" VERBATIM)
  list(APPEND gzipped "${SPI_DEB_FILES}/${name}")
endforeach()
add_custom_target(spi_deb_files ALL DEPENDS ${gzipped})

install(FILES "${SPI_DEB_FILES}/spihost.1.gz" DESTINATION share/man/man1)
install(FILES share/debian/copyright "${SPI_DEB_FILES}/changelog.gz" DESTINATION share/doc/spihost)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME spihost)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SPI_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Susie plug-ins for Windows icons, with a command-line host and thumbnailer")
set(CPACK_PACKAGE_DESCRIPTION
    "Four Susie image-viewer plug-ins and spihost, the program that runs them
on Linux. Pelorin shows the resources of Windows programs and libraries (PE
and NE), Vantrel the frames of animated cursors, Quibbet the images of icon
and cursor files, and Morvane decodes icons and cursors into pictures.
.
spihost lists and extracts what the plug-ins show, converts icons and cursors
to PNG, and draws the file manager's thumbnails of executables, icon
libraries, icons, cursors and animated cursors.")
# The dependencies are those of the built binaries, found by dpkg-shlibdeps,
# and libdeflate, which spihost opens only when it has a PNG to encode or
# decode.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libdeflate0")
set(CPACK_STRIP_FILES ON)
# The MIME package registers through shared-mime-info's trigger, the manual
# page through man-db's: no maintainer scripts of our own.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS shared-mime-info)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
