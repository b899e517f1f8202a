# Install rules and the Debian package (CPack DEB). `cmake --install` puts the installed program,
# its menu entry, icons, AppStream metainfo and man pages (English and Japanese) under the prefix;
# scripts/package.sh turns a Release build into mivora_<version>~deb<N>_amd64.deb.
include(GNUInstallDirs)
# cpack (also in check_package.sh, inside a test run) must not start a build of everything.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

# Debian wants the man page and the changelog compressed, without a time stamp in the gzip header.
find_program(GZIP gzip REQUIRED)
set(COMPRESSED)
foreach(pair "mivora.1;mivora.1.gz" "mivora.ja.1;ja/mivora.1.gz" "changelog;changelog.gz")
  list(GET pair 0 from)
  list(GET pair 1 to)
  add_custom_command(OUTPUT ${PACKAGING_OUT}/${to}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PACKAGING_OUT}/ja
    COMMAND ${GZIP} -9nc ${PACKAGING_DIR}/${from} > ${PACKAGING_OUT}/${to}
    DEPENDS ${PACKAGING_DIR}/${from} VERBATIM)
  list(APPEND COMPRESSED ${PACKAGING_OUT}/${to})
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${COMPRESSED})

install(TARGETS mivora_installed RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PACKAGING_DIR}/mivora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# AppStream wants the file named after the component id.
install(FILES ${PACKAGING_DIR}/mivora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
  RENAME example.mivora.Mivora.metainfo.xml)
install(FILES ${PACKAGING_DIR}/icons/mivora.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
  install(FILES ${PACKAGING_DIR}/icons/mivora-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME mivora.png)
endforeach()
install(FILES ${PACKAGING_OUT}/mivora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PACKAGING_OUT}/ja/mivora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
install(FILES ${PACKAGING_DIR}/copyright ${PACKAGING_OUT}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mivora)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mivora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The Depends are those of the release that builds the package, so the release is in its version
# and file name: 1.0.0~deb12 (Debian 12), 1.0.0~deb13 (Debian 13). "~" sorts before the bare
# 1.0.0, and deb12 before deb13, so an upgrade of the release upgrades the package too.
set(release_id)
if(EXISTS /etc/os-release)
  file(STRINGS /etc/os-release os_release REGEX "^(ID|VERSION_ID)=")
  if(os_release MATCHES "ID=\"?debian\"?" AND os_release MATCHES "VERSION_ID=\"?([0-9]+)")
    set(release_id deb${CMAKE_MATCH_1})
  endif()
endif()
set(MIVORA_PACKAGE_RELEASE "${release_id}" CACHE STRING
  "release in the package version (deb12, deb13; empty: none), from /etc/os-release by default")
if(MIVORA_PACKAGE_RELEASE)
  set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION}~${MIVORA_PACKAGE_RELEASE})
else()
  set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Mivora maintainers <maintainers@users.noreply.c-seed-9d9dbb16.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read-only browser for Active Directory domains (Japanese UI)")
# The long description; CPack puts the summary above it and indents it as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Mivora is a small desktop tool with a Japanese user interface for browsing
an Active Directory domain: it walks the directory one level at a time in a
tree, lists each level's containers, organizational units, groups, computers
and users, shows the details of an object and exports a listing as a
tab-separated CP932 file.

It only reads the directory. It binds with SASL as the user who runs it (a
Kerberos ticket, or EXTERNAL on ldapi://) and finds the server through
libldap's configuration or the domain's DNS SRV records.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries' packages come from dpkg-shlibdeps; the rest are needed at run time only: the
# Japanese font, and the SASL module of the Kerberos bind. Qt's X11 platform plugin (xcb) is in
# libqt6gui6 itself on Debian 12 and 13, so the libraries bring it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, libsasl2-modules-gssapi-mit")
# The save dialog's buttons in Japanese; Qt's Wayland platform plugin, without which a Wayland
# session runs the program through XWayland, or not at all where there is none (Debian 13's
# libqt6gui6 recommends it too, Debian 12's does not).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, qt6-wayland")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
