# What a Linux installation holds beyond the programs, and the Debian package of it all (make
# package): the manual page, the AppStream metainfo, the copyright and change log, then CPack's
# DEB generator over every install rule of the tree.

# Debian wants manual pages and change logs compressed, without a time stamp in the gzip header.
find_program(KAVELIN_GZIP gzip REQUIRED)
set(KAVELIN_DOC_BUILD ${PROJECT_BINARY_DIR}/share/doc/kavelin)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/share/man/man1/kavelin.1.gz
                          ${KAVELIN_DOC_BUILD}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/share/man/man1
            ${KAVELIN_DOC_BUILD}
    COMMAND ${KAVELIN_GZIP} -9nc ${PROJECT_SOURCE_DIR}/resources/kavelin.1
            > ${PROJECT_BINARY_DIR}/share/man/man1/kavelin.1.gz
    COMMAND ${KAVELIN_GZIP} -9nc ${PROJECT_SOURCE_DIR}/resources/changelog
            > ${KAVELIN_DOC_BUILD}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/kavelin.1 ${PROJECT_SOURCE_DIR}/resources/changelog)
add_custom_target(kavelin_documents ALL
    DEPENDS ${PROJECT_BINARY_DIR}/share/man/man1/kavelin.1.gz ${KAVELIN_DOC_BUILD}/changelog.gz)

install(FILES ${PROJECT_BINARY_DIR}/share/man/man1/kavelin.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/resources/copyright ${KAVELIN_DOC_BUILD}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kavelin)
install(FILES ${PROJECT_SOURCE_DIR}/resources/org.kavelin.kavelin.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kavelin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kavelin developers <dev@kavelin.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "startup disk chooser in the menu bar")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Kavelin lists every mounted volume that carries a macOS system in the menu"
    "of its tray icon, and makes the chosen one the startup disk, either as the"
    "new default followed by a restart request, or for the next start only. Only"
    "its small root-side helper runs with administrator rights, through polkit,"
    "and only on the volume the user chose. Its texts are in French.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The administrator prompt; the libraries come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pkexec")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
