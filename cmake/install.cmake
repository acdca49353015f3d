# Install layout and the Debian package.
#
# orvanecmgr finds its data files next to its own file, so the real program lives in a
# private folder of its own, bin/ holds a link to it, and the two data-file names in that
# folder are links into the configuration folder, where an administrator edits them.
include(GNUInstallDirs)

set(ORVANE_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/orvane-connection-manager")

install(TARGETS orvanecmgr RUNTIME DESTINATION ${ORVANE_INSTALL_PRIVATEDIR})
install(TARGETS orvane-device orvane-data RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS orvane-nm orvane-pixels orvane-mm LIBRARY DESTINATION ${ORVANE_INSTALL_PRIVATEDIR})

# Links are made when installing, because --prefix (and DESTDIR) are known only then.
# The configuration folder follows GNUInstallDirs: /etc for the prefix /usr, /etc/opt/...
# for a prefix under /opt, <prefix>/etc otherwise.
set(orvane_link_code [[
  set(prefix "${CMAKE_INSTALL_PREFIX}")
  set(sysconf "@CMAKE_INSTALL_SYSCONFDIR@")
  if(NOT IS_ABSOLUTE "${sysconf}")
    if(prefix STREQUAL "/usr" OR prefix STREQUAL "/usr/")
      set(sysconf "/${sysconf}")
    elseif(prefix MATCHES "^/opt/")
      set(sysconf "/etc${prefix}")
    else()
      set(sysconf "${prefix}/${sysconf}")
    endif()
  endif()
  set(root "$ENV{DESTDIR}")
  set(private "${prefix}/@ORVANE_INSTALL_PRIVATEDIR@")
  set(bindir "${prefix}/@CMAKE_INSTALL_BINDIR@")
  file(MAKE_DIRECTORY "${root}${bindir}" "${root}${sysconf}/orvane")
  file(RELATIVE_PATH to_program "${bindir}" "${private}/orvanecmgr")
  file(REMOVE "${root}${bindir}/orvanecmgr")
  file(CREATE_LINK "${to_program}" "${root}${bindir}/orvanecmgr" SYMBOLIC)
  message(STATUS "Installing: ${root}${bindir}/orvanecmgr -> ${to_program}")
  foreach(ext lng xml)
    file(REMOVE "${root}${private}/orvanecmgr.${ext}")
    file(CREATE_LINK "${sysconf}/orvane/orvanecmgr.${ext}" "${root}${private}/orvanecmgr.${ext}" SYMBOLIC)
    message(STATUS "Installing: ${root}${private}/orvanecmgr.${ext} -> ${sysconf}/orvane/orvanecmgr.${ext}")
  endforeach()
]])
string(CONFIGURE "${orvane_link_code}" orvane_link_code @ONLY)
install(CODE "${orvane_link_code}")

# Man pages, gzipped as Debian ships them (man reads them either way).
set(ORVANE_MAN_PAGES orvanecmgr.1 orvane-device.1 orvane-data.1)
foreach(page ${ORVANE_MAN_PAGES})
  set(in ${PROJECT_SOURCE_DIR}/man/${page})
  set(filled ${CMAKE_BINARY_DIR}/man/${page})
  configure_file(${in} ${filled} @ONLY)
  add_custom_command(OUTPUT ${filled}.gz
    COMMAND gzip -9nc ${filled} > ${filled}.gz
    DEPENDS ${filled} VERBATIM)
  list(APPEND orvane_man_outputs ${filled}.gz)
  install(FILES ${filled}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(orvane_man ALL DEPENDS ${orvane_man_outputs})

install(FILES completions/orvane-device completions/orvane-data
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
install(FILES README.md LICENSE DESTINATION ${ORVANE_DOCDIR})
install(FILES doc/dialog-portrait.png DESTINATION ${ORVANE_DOCDIR}/doc)
install(FILES packaging/copyright DESTINATION ${ORVANE_DOCDIR})
set(changelog ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${changelog}
  DEPENDS packaging/changelog VERBATIM)
add_custom_target(orvane_changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${ORVANE_DOCDIR})
install(DIRECTORY examples/ DESTINATION ${ORVANE_DOCDIR}/examples)

# ---- Debian package: cpack -G DEB in the build tree ----
set(CPACK_PACKAGE_NAME orvane-connection-manager)
set(CPACK_PACKAGE_VENDOR "The Orvane Connection Manager developers")
set(CPACK_PACKAGE_CONTACT "Orvane Connection Manager developers <maintainers@orvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cellular dial-up connection creator on a simulated handheld")
set(CPACK_PACKAGE_DESCRIPTION
"Orvane Connection Manager is a single-dialog utility that creates cellular
packet-data dial-up connections (name, modem, operator preset, APN, user name,
password, phone). It runs in a terminal, or in a desktop window drawn as the
handheld's screen, on a simulated handheld whose connections are kept in an
SQLite store.

The package holds the program (orvanecmgr), the device tool (orvane-device)
and the data-file tool (orvane-data).")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mobile-broadband-provider-info")
# The pixel display's system font and its fallback; SDL2, cairo and Pango come from the module.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
