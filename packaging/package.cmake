# The Debian package, made by CPack from the install rules (scripts/package runs it). The
# libraries come from the programs' own links (dpkg-shlibdeps); the packages below are the ones
# they load at run time without linking: the fonts that draw Chinese (a Hei face for 黑体 and
# 微软雅黑, a Song face for 宋体, a new text layer's font, and a Kai face for 楷体; the examples
# use 宋体 and 黑体) and Qt's Chinese texts for the standard dialogs.
set(CPACK_PACKAGE_NAME torvale)
set(CPACK_PACKAGE_VENDOR "The Torvale developers")
set(CPACK_PACKAGE_CONTACT "${TORVALE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "badge and name-card pictures in bulk from a CSV file")
set(CPACK_PACKAGE_INSTALL_DIRECTORY torvale)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME torvale)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TORVALE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-wqy-zenhei, fonts-arphic-uming, fonts-arphic-ukai, fonts-noto-core, fonts-noto-color-emoji, qt6-translations-l10n")
# xdg-open shows the user guide in the browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# bash-completion loads the completion of torvale-batch.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
# CPack puts the summary above as the synopsis and indents these lines for the control file.
set(CPACK_PACKAGE_DESCRIPTION
    "Torvale makes badge, employee-pass and name-card pictures in bulk. A card
template is designed once in the editor: a background picture or a blank
card, text layers, photo layers and QR or bar codes, each bound to a column
of a CSV file. Torvale then renders one JPG or PNG picture per row into a
folder, never overwriting a file, and can lay the cards out on the pages of
a PDF file for printing.

The command-line tool torvale-batch runs the same batch without a display.
The editor's interface is in Chinese.")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_GENERATOR DEB)
include(CPack)
