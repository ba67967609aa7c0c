# Installation rules and the two Debian packages: totem-kiosk (the kiosk and its X session unit) and
# totem-server (the application server and its unit). Included last by the top-level CMakeLists.txt, once
# both program targets exist.
#
#   cmake --install <build> --prefix <folder>     everything, both programs
#   cd <build> && cpack -G DEB                    totem-kiosk_<version>_<arch>.deb, totem-server_...deb
#
# The units name /usr/bin and /usr/lib/totem-kiosk: the packages install under /usr.

# A kiosk built with its test-only screen probe answers on a local socket: such a build is never packaged.
if(TOTEM_PROBE)
  return()
endif()

set(TOTEM_DEPLOY_DIR ${PROJECT_SOURCE_DIR}/deploy)
set(TOTEM_PACKAGE_DIR ${PROJECT_BINARY_DIR}/package)

# --- What both packages carry: the copyright, the changelog (gzipped, as Debian installs it) and manual pages
# written from each program's own --help once it is built.
file(MAKE_DIRECTORY ${TOTEM_PACKAGE_DIR})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TOTEM_DEPLOY_DIR}/debian/changelog)
execute_process(COMMAND gzip -9nc ${TOTEM_DEPLOY_DIR}/debian/changelog
                OUTPUT_FILE ${TOTEM_PACKAGE_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
function(totem_manual_page program summary)
  set(page ${TOTEM_PACKAGE_DIR}/${program}.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program} "-DSUMMARY=${summary}"
            -DSEE_ALSO=/usr/share/doc/${program}/operations.md -DOUTPUT=${page} -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Manual page of ${program}")
  add_custom_target(${program}-manual ALL DEPENDS ${page}.gz)
endfunction()
totem_manual_page(totem-kiosk "the self-service consultation kiosk")
totem_manual_page(totem-server "application server of the consultation kiosks")
foreach(component kiosk server)
  install(FILES ${TOTEM_DEPLOY_DIR}/debian/copyright ${TOTEM_PACKAGE_DIR}/changelog.gz
          DESTINATION share/doc/totem-${component} COMPONENT ${component})
  install(FILES ${TOTEM_PACKAGE_DIR}/totem-${component}.1.gz DESTINATION share/man/man1 COMPONENT ${component})
endforeach()

# --- The kiosk --------------------------------------------------------------------------------------------
# src/app already installs totem-kiosk in the default component for a plain `cmake --install`; the same rule in
# the kiosk component puts it in the package (installing the same file twice is harmless).
install(TARGETS totem-kiosk RUNTIME DESTINATION bin COMPONENT kiosk)
install(PROGRAMS ${TOTEM_DEPLOY_DIR}/kiosk/totem-session DESTINATION lib/totem-kiosk COMPONENT kiosk)
install(FILES ${TOTEM_DEPLOY_DIR}/systemd/totem-kiosk.service DESTINATION lib/systemd/system COMPONENT kiosk)
install(FILES ${TOTEM_DEPLOY_DIR}/debian/totem-kiosk.sysusers DESTINATION lib/sysusers.d
        RENAME totem-kiosk.conf COMPONENT kiosk)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/operations.md
        DESTINATION share/doc/totem-kiosk COMPONENT kiosk)

# --- The server -------------------------------------------------------------------------------------------
install(TARGETS totem-server RUNTIME DESTINATION bin COMPONENT server)
install(FILES ${TOTEM_DEPLOY_DIR}/systemd/totem-server.service DESTINATION lib/systemd/system COMPONENT server)
# The site's settings, every one commented out: a conffile that upgrades never overwrite once edited.
install(FILES ${TOTEM_DEPLOY_DIR}/debian/totem-server.default DESTINATION /etc/default RENAME totem-server
        COMPONENT server)
install(FILES ${TOTEM_DEPLOY_DIR}/debian/totem-server.sysusers DESTINATION lib/sysusers.d
        RENAME totem-server.conf COMPONENT server)
install(FILES ${PROJECT_SOURCE_DIR}/docs/operations.md ${PROJECT_SOURCE_DIR}/docs/server.md
              ${PROJECT_SOURCE_DIR}/docs/protocol.md
        DESTINATION share/doc/totem-server COMPONENT server)

# --- Debian packages --------------------------------------------------------------------------------------
set(CPACK_PACKAGE_NAME totem)
set(CPACK_PACKAGE_VENDOR "Totem project")
set(CPACK_PACKAGE_CONTACT "Totem kiosk team <kiosk-team@totem.example.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
# Only the two named components: the default one would otherwise become a third package.
set(CPACK_COMPONENTS_ALL kiosk server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps adds the versioned libraries the programs link (libc6, libstdc++6, libqt6core6,
# libqt6widgets6, libqt6sql6, libcurl4, libssl3 for HTTPS, libsqlite3-0 ...); the lines below add
# only what it cannot see: Qt's plug-ins, which are loaded at run time, and the fonts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_KIOSK_PACKAGE_NAME totem-kiosk)
set(CPACK_COMPONENT_KIOSK_DESCRIPTION
    "Self-service consultation kiosk\nThe touch-screen kiosk where employees swipe a badge to see their balances\nand statements, with the systemd unit that runs it as the only program of an\nX session, fed by its watchdog.")
# The platform plug-in (xcb) and the fonts the screens are laid out with are needed wherever it runs.
set(CPACK_DEBIAN_KIOSK_PACKAGE_DEPENDS
    "qt6-qpa-plugins (>= 6.4), fonts-liberation2, fonts-dejavu-core")
# Only the packaged X session needs an X server: the program also runs on an existing desktop, so these are
# recommended (installed by default) rather than required. x11-xserver-utils gives xset for screen blanking.
set(CPACK_DEBIAN_KIOSK_PACKAGE_RECOMMENDS "xserver-xorg, xinit, x11-xserver-utils, locales")
set(CPACK_DEBIAN_KIOSK_PACKAGE_CONTROL_EXTRA
    ${TOTEM_DEPLOY_DIR}/debian/totem-kiosk/postinst ${TOTEM_DEPLOY_DIR}/debian/totem-kiosk/prerm
    ${TOTEM_DEPLOY_DIR}/debian/totem-kiosk/postrm)
set(CPACK_DEBIAN_KIOSK_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME totem-server)
set(CPACK_COMPONENT_SERVER_DESCRIPTION
    "Application server of the consultation kiosks\nAnswers the kiosks' remote calls over HTTP from an SQLite file or a\nPostgreSQL database, with a hardened systemd unit.")
# Both database drivers are Qt plug-ins loaded at run time: SQLite is the default store, PostgreSQL the
# documented choice for a large network.
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS
    "libqt6sql6-sqlite (>= 6.4), libqt6sql6-psql (>= 6.4)")
# openssl makes the server's certificate and key (operations.md, "HTTPS").
set(CPACK_DEBIAN_SERVER_PACKAGE_SUGGESTS "sqlite3, postgresql-client, openssl")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${TOTEM_DEPLOY_DIR}/debian/totem-server/postinst ${TOTEM_DEPLOY_DIR}/debian/totem-server/prerm
    ${TOTEM_DEPLOY_DIR}/debian/totem-server/postrm ${TOTEM_DEPLOY_DIR}/debian/totem-server/conffiles)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
