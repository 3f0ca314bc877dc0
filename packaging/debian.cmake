# `cpack -G DEB` in the build folder: kestbomex_<version>_<arch>.deb (the
# programs and the bus service) and kestbomex-dev_<version>_<arch>.deb (the
# core for programs that link it). Both install under /usr.
set(KBX_DEB_MAINTAINER "KestBomEx maintainers <maintainers@kestbomex.org>" CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_PACKAGE_NAME kestbomex)
set(CPACK_PACKAGE_VENDOR KestBomEx)
set(CPACK_PACKAGE_CONTACT "${KBX_DEB_MAINTAINER}")
# The licence (MIT) is LICENSE at the top; each package carries it in its
# copyright file (share/doc/<package>/copyright).
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KBX_DEB_MAINTAINER}")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME kestbomex)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION utils)
# The shared libraries (Qt 6, libzip, pugixml, zlib, libcsv) are found by dpkg-shlibdeps.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
# The service needs a session bus; .xls and .ods go through LibreOffice,
# driven from Python through UNO; a finished workbook is shown with xdg-open.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "default-dbus-session-bus | dbus-session-bus, libreoffice-calc-nogui | libreoffice-calc, python3-uno, xdg-utils")
# The first line of a description is its synopsis; Debian wants the lines
# after it within 80 columns.
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION [=[bills of materials into .xlsx workbooks: D-Bus service and command line
KestBomEx fills placeholder templates from a bill of materials, writes
paged plain BOM lists and picture summaries, and copies workbooks, for
CAD and product-data hosts. It holds the D-Bus service kestbomex-server
(KestBomEx.KestDBBomExcel, activated on demand, through systemd where a
user manager runs) and the command line kestbomex.]=])

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME kestbomex-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libzip-dev, libpugixml-dev, zlib1g-dev, pkg-config")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION [=[KestBomEx core library for programs that link it (static libraries)
The Qt-free core of KestBomEx with its embedded .xlsx engine, as static
libraries and headers, with a CMake package (find_package(KestBomEx),
target KestBomEx::core) and a pkg-config file (kestbomex).]=])

include(CPack)
