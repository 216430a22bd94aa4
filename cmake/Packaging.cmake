# The Debian package: `cpack` in the build tree (scripts/package.sh) turns the
# install rules into mirelo_<version>_<arch>.deb. Its Depends come from the
# shared libraries the programs link (dpkg-shlibdeps) plus what they load at
# run time without linking it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Mirelo developers")
set(CPACK_PACKAGE_CONTACT "The Mirelo developers <mirelo@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "record short animations of the screen as GIF, WebP or MP4")
set(CPACK_PACKAGE_DESCRIPTION
  "Mirelo records a region of an X11 desktop at 10 to 30 frames per second
through a borderless recording frame, opens the frames in an editor (delete,
trim, delays, crop, resize, turn, mirror, text, stickers, mosaic, arrows, with
undo) and saves an animated GIF, an animated WebP or an MP4 video. Its
interface speaks Chinese or English, following the desktop's language. The
package also holds mirelo-convert, which turns a folder of PNG/JPEG frames
into the same formats.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${MIRELO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Chinese interface needs CJK glyphs, and Qt's own dialogs their Chinese
# catalogue; the desktop hand-offs (opening the output folder, a download
# page) go through xdg-open where no file manager answers on D-Bus.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n, xdg-utils")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
