# The Debian package: `cpack -G DEB` in the build folder packs what the install rules
# lay out (assets/CMakeLists.txt) under /usr: the program folder /usr/lib/tarnwick
# with its samples, skin and pointer pictures, /usr/bin/tarnwick, the desktop entry,
# the icons, the AppStream metadata, the manual page, the copyright file and the
# changelog.
include_guard(GLOBAL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR Brantwell)
set(CPACK_PACKAGE_CONTACT "Brantwell <support@brantwell.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Converts Writer documents to plain text files in batches")
# Debian shows the description's lines as they are: at most 79 characters each.
set(CPACK_PACKAGE_DESCRIPTION
    "Tarnwick converts Writer documents (.odt, .ott, .sxw, .stw) to plain text
files in batches, in a window or from the command line (tarnwick --convert),
or for applications as an HTTP service (tarnwick --serve).
The conversion is done by LibreOffice, which Tarnwick starts privately in the
background and drives through its UNO interface.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
# Packages land in the build folder, named as Debian names them (tarnwick_1.0_amd64.deb).
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.brantwell.example/)
# dpkg-shlibdeps finds the libraries the program links (Qt 6 Core, Gui and Widgets,
# whose Gui package carries the xcb platform plugin; the UNO runtime; libmicrohttpd
# for tarnwick --serve). The office
# itself is a program the package starts, so it is named by hand; its UNO types must
# be those the program was built against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# bubblewrap confines every office the program starts (without it they run
# unconfined, and say so).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libreoffice-writer (>= 4:7.4), bubblewrap")
# The window's font is Arial or its metric twin; folders and addresses open through
# xdg-open; nss_wrapper lends a user id without an account one for the office, which
# is otherwise not started for such an id.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, xdg-utils, libnss-wrapper")

include(CPack)
