# The Debian package: `cpack -G DEB` in the build tree packs what `cmake --install` puts in place
# (src/ui/install.cmake) under /usr. The run-time dependencies are what dpkg-shlibdeps finds the
# programs and the plug-in linked against, plus what is loaded without being linked: the Japanese
# Gothic face the interface and text sources ask fontconfig for. Qt's platform plug-ins (xcb,
# offscreen) come with libqt6gui6 and Qt Multimedia's back ends with libqt6multimedia6, both
# pulled in by the linked libraries.
set(CPACK_PACKAGE_NAME tavrona)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavrona developers")
set(CPACK_PACKAGE_CONTACT "Tavrona developers <developers@tavrona.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video compositing on 256 tracks")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# The install code refreshes the desktop databases only outside DESTDIR installs: packing must
# not put a mime cache in the package (dpkg triggers of shared-mime-info and
# desktop-file-utils refresh them on the user's machine).
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME tavrona)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
# Farm export submits its parts with sbatch.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "slurm-client")
# The summary above is the first line; this is the long description below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tavrona composes movies, still images and texts placed as
timed events on 256 tracks (tinted, faded, blended by one of seven modes,
moved by a 3x3 matrix) and exports AVI, MP4, MKV and MOV files with sound.

This package holds the desktop program (tavrona), the command line
(tavrona-cli: render, export, join and farm export on a Slurm cluster),
the image plug-in, the desktop entry and the project file type (*.vpj).")

include(CPack)
