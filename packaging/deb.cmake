# The Debian package, made by CPack from the install rules: `cpack -G DEB` in a build folder
# configured with CMAKE_INSTALL_PREFIX=/usr (scripts/package.sh does both).
set(CPACK_GENERATOR DEB)
# Packing installs what is built; it does not build the tests first (scripts/package.sh builds
# what the install rules name).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME dalvenor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Dalvenor developers")
set(CPACK_PACKAGE_CONTACT "Dalvenor developers <dalvenor@users.noreply.github.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "countdown to the college entrance exam on the desktop")
# The extended description (the summary above is its first line); an empty line starts a
# new paragraph.
set(CPACK_PACKAGE_DESCRIPTION
    "Dalvenor keeps the countdown to the college entrance examination (gaokao)
in front of a student: a free first line, the days, hours, minutes and
seconds left, and a study tip that changes every minute, drawn directly on
the desktop.

Its tray menu sets the target date and text, places and styles the
countdown, picks a skin, sets a study reminder or a scheduled shutdown and
starts the program at login. The user interface is in Chinese.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/dalvenor/dalvenor")
# The libraries come from the binary (dpkg-shlibdeps); the rest is what the program loads
# at run time: Qt's X11 platform plugin, a font with Chinese characters, and the two
# libraries of the Chinese calendar line, which are opened on first use and so are not seen.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, liblunar-date-3.0-1, libnova-0.16-0, fonts-noto-cjk | fonts-arphic-uming | fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
