# Debian packages made by CPack (`cpack -G DEB` in a build configured with
# CMAKE_INSTALL_PREFIX=/usr; scripts/package does both). One package per component:
# vorn-share, the headless tool that a small box needs without Qt, and, when the desktop
# program is part of the build, vorn-image-manager, which depends on it.

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_NAME vorn-share)
set(CPACK_PACKAGE_VENDOR "Vorn Image Manager developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${VORN_PACKAGE_MAINTAINER}")
# The programs look for their resources under the prefix they were built for.
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL vorn-share)
if(TARGET vorn-image-manager)
    list(APPEND CPACK_COMPONENTS_ALL vorn-image-manager)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# CPack asks dpkg for the architecture, which is this machine's: a cross build (the
# toolchain files under cmake/toolchains) names the one it builds for.
if(VORN_DEBIAN_ARCH)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VORN_DEBIAN_ARCH})
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VORN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_VORN-SHARE_PACKAGE_NAME vorn-share)
# The converters and the mDNS announcement: the share works without them, minus audio,
# pictures or being found by name.
set(CPACK_DEBIAN_VORN-SHARE_PACKAGE_RECOMMENDS "ffmpeg, python3-numpy, python3-pil, avahi-daemon")
set(CPACK_DEBIAN_VORN-SHARE_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/dist/debian/postinst"
    "${PROJECT_SOURCE_DIR}/dist/debian/prerm"
    "${PROJECT_SOURCE_DIR}/dist/debian/postrm")
set(CPACK_DEBIAN_VORN-SHARE_DESCRIPTION
"share Apple II disk images with a Vorn network card
vorn-share shares one folder, the library, with a Vorn network card in an
Apple II or IIGS over HTTP on the local network. The card mounts the
library's ProDOS-order disk images as block drives, plays its audio
(converted by ffmpeg) and shows its pictures (converted to Super Hi-Res
screens by a python3 script).

This package holds the headless tool and a systemd service that shares
a user's library at boot (vorn-share@USER).")

set(CPACK_DEBIAN_VORN-IMAGE-MANAGER_PACKAGE_NAME vorn-image-manager)
set(CPACK_DEBIAN_VORN-IMAGE-MANAGER_PACKAGE_DEPENDS "vorn-share (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_VORN-IMAGE-MANAGER_DESCRIPTION
"manage and share a library of Apple II disk images
Vorn Image Manager is the desktop window of the Vorn share: it chooses the
library folder, shows what the card sees and the address to type into it,
and follows the share's log as it happens.

The share itself and its converters come from the vorn-share package.")

include(CPack)
