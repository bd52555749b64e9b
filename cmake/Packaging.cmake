# `make package`: one Debian package with the server and its operator tools in /usr/bin, the
# template unit, the user and folder the unit expects (sysusers.d, tmpfiles.d), the demo event as
# an example, the README and the manual pages. Paths are absolute: the package lays out the
# system, not a prefix.
set(RV_PACKAGED_TOOLS rvcheck rvquery rvadmin rvresults rvlive rvreplay)

install(TARGETS rvserver ${RV_PACKAGED_TOOLS} RUNTIME DESTINATION usr/bin)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/rvserver@.service DESTINATION lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/rvserver.sysusers DESTINATION usr/lib/sysusers.d
        RENAME rvserver.conf)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/rvserver.tmpfiles DESTINATION usr/lib/tmpfiles.d
        RENAME rvserver.conf)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/demo/ DESTINATION usr/share/rvserver/demo)

# Manual pages and the changelog are shipped compressed, as Debian wants them; gzip -n keeps
# the bytes the same from one build to the next.
set(RV_DOC ${CMAKE_BINARY_DIR}/package-doc)
function(rv_gzip source target)
  add_custom_command(OUTPUT ${target} DEPENDS ${source}
                     COMMAND gzip -9nc ${source} > ${target} VERBATIM)
endfunction()
set(RV_COMPRESSED)
foreach(page rvserver.8 rvcheck.1 rvquery.1 rvadmin.1 rvresults.1 rvlive.1 rvreplay.1)
  rv_gzip(${CMAKE_SOURCE_DIR}/packaging/man/${page} ${RV_DOC}/${page}.gz)
  list(APPEND RV_COMPRESSED ${RV_DOC}/${page}.gz)
  string(REGEX REPLACE ".*\\." "" section ${page})
  install(FILES ${RV_DOC}/${page}.gz DESTINATION usr/share/man/man${section})
endforeach()
rv_gzip(${CMAKE_SOURCE_DIR}/packaging/debian/changelog ${RV_DOC}/changelog.gz)
add_custom_target(package-doc ALL DEPENDS ${RV_COMPRESSED} ${RV_DOC}/changelog.gz)
file(MAKE_DIRECTORY ${RV_DOC})
install(FILES ${RV_DOC}/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/debian/copyright
              ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION usr/share/doc/rvserver)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rvserver)
set(CPACK_PACKAGE_VERSION 1.2.0)
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Ralvo race server team <rvserver@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dedicated server for Ralvo race events")
set(CPACK_PACKAGE_DESCRIPTION
    "rvserver hosts one race event on one UDP port: it admits drivers and\n\
spectators, relays their cars, keeps lap times and standings and leads\n\
everyone through practice, qualifying and race. Each event runs as an\n\
instance of the rvserver@ systemd unit in its own folder under /srv/rvserver.\n\
The operator tools check a configuration, query and command a running\n\
server, print results, serve a live timing page and rebuild an event from\n\
its recording.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
                                       ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
