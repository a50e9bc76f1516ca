# Debian package of the installed tree: `cpack -G DEB` in the build directory.
# The package's dependencies are computed by dpkg-shlibdeps from the libraries the binary links
# against (the FFmpeg runtime libraries, the C and C++ runtimes), so they follow the build
# machine.

set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the ORVANE developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "exact converter for DTS audio in DTS-CD and DTS-in-WAV files")
set(CPACK_PACKAGE_DESCRIPTION
  "ORVANE reads a DTS-CD rip, a DTS-in-WAV file (RIFF or RF64 WAVE carrying a DTS bitstream as
16-bit or 14-bit words, in either byte order) or a raw DTS stream, reports what it found, and
extracts the bitstream losslessly to .dts, muxes it unchanged into Matroska (.mka) with tags, or
decodes it to 24-bit multichannel FLAC (with tags) or WAV.")
# A role, not a person; the reserved .invalid domain makes plain that no mail is read there. Whoever
# distributes the package sets their own address.
set(ORVANE_PACKAGE_MAINTAINER "ORVANE developers <no-reply@orvane.invalid>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${ORVANE_PACKAGE_MAINTAINER}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# The copyright file in Debian's machine-readable format; its licence text is LICENSE's own, so the
# two cannot drift apart.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE orvane_license)
string(FIND "${orvane_license}" "Permission is hereby granted" orvane_grant)
string(SUBSTRING "${orvane_license}" ${orvane_grant} -1 orvane_license)
string(STRIP "${orvane_license}" orvane_license)
string(REGEX REPLACE "\n\n" "\n.\n" orvane_license "${orvane_license}")
string(REGEX REPLACE "\n" "\n " ORVANE_LICENSE_PARAGRAPH " ${orvane_license}")
if(ORVANE_BUNDLED_FFMPEG)
  # Linked statically, FFmpeg is part of the package: its licence text and build note go with it.
  set(ORVANE_FFMPEG_COMMENT "ORVANE is statically linked with FFmpeg's libraries (libavcodec,
 libavformat, libavutil), licensed under the GNU Lesser General Public License version 2.1 or
 later; its text and a note of the FFmpeg version, configuration and source are in
 /usr/share/doc/orvane/ffmpeg.")
  install(FILES ${ORVANE_FFMPEG_INSTALL}/share/doc/ffmpeg/COPYING.LGPLv2.1
                ${ORVANE_FFMPEG_INSTALL}/share/doc/ffmpeg/FFMPEG-BUILD.txt
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/ffmpeg OPTIONAL)
else()
  set(ORVANE_FFMPEG_COMMENT "ORVANE links FFmpeg's libraries (libavcodec, libavformat, libavutil). They are not
 part of this package and come under their own licences; see the copyright files of their
 packages, such as /usr/share/doc/libavcodec59/copyright on Debian 12.")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Only what `cmake --install` installs goes into the package; the test programs are never installed.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/")

include(CPack)
