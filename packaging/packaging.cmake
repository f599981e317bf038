# The Debian package: `make package` builds variredu-divar_VERSION_ARCH.deb with CPack from the
# files the program installs (src/, data/), plus what Debian asks of every package:
# a man page, the copyright file and a changelog. Included from the top-level CMakeLists.txt.

include(GNUInstallDirs)

set(VD_PACKAGE_MAINTAINER "Variredu Divar developers <maintainers@variredu-divar.github.io>"
    CACHE STRING "The Debian package's Maintainer, NAME <EMAIL>; also signs its changelog")

# The man page and changelog as Debian wants them: gzip -9 without a name or time stamp.
set(vd_packaging_dir ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/variredu-divar.1.in ${vd_packaging_dir}/variredu-divar.1 @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${vd_packaging_dir}/changelog @ONLY)
set(vd_compressed "")
foreach(vd_doc variredu-divar.1 changelog)
    add_custom_command(OUTPUT ${vd_packaging_dir}/${vd_doc}.gz
        COMMAND gzip -9nkf ${vd_packaging_dir}/${vd_doc}
        DEPENDS ${vd_packaging_dir}/${vd_doc}
        VERBATIM)
    list(APPEND vd_compressed ${vd_packaging_dir}/${vd_doc}.gz)
endforeach()
add_custom_target(vd_package_docs ALL DEPENDS ${vd_compressed})

install(FILES ${vd_packaging_dir}/variredu-divar.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${vd_packaging_dir}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME variredu-divar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Variredu Divar developers")
set(CPACK_PACKAGE_CONTACT ${VD_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray clock showing an online game's Valdrian time")
# Lines of at most 80 characters, as apt shows them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "A small clock for players of an online game. It shows the game world's time"
    "of day, Valdrian time, in the system tray as VT: HH:MM, speaks an hourly time"
    "signal and the player's alarms, and keeps the alarms in the per-user settings."
    "Valdrian time runs 144/7 times as fast as real time. Without a tray it shows a"
    "small label window, and it also runs in a terminal (--terminal).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VD_SUPPORT_URL})
# The libraries it links, as dpkg-shlibdeps finds them, plus what it loads at run time and so is
# invisible to dpkg-shlibdeps: the Qt plugin for its SVG icons, and MeCab for the kana reading.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libmecab2")
# Speech: the clock runs silently without speech-dispatcher, and hands Japanese texts over as written
# without MeCab's dictionary (libspeechd2 itself comes from dpkg-shlibdeps), so
# these are recommended. Qt's engines are only for --speech-engine qt and for a speech-dispatcher
# that can't be reached, when Qt's speechd engine can't reach it either.
# Qt's Wayland platform: on a Wayland session without X11 clients (XWayland), the clock falls back
# to the terminal without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "speech-dispatcher, speech-dispatcher-espeak-ng, mecab-ipadic-utf8, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-speech-speechd-plugin, qt6-speech-flite-plugin")
include(CPack)
