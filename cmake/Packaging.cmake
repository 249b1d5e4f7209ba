# SPDX-License-Identifier: GPL-3.0-or-later
# Installation layout and the Debian package (scripts/package).
#
# Both programs read Velmora.ini beside their own executable, so they are installed together in
# /usr/lib/velmora with links in /usr/bin (Qt's applicationDirPath() is that of the executable a
# link resolves to). The settings file itself is a configuration file of the package in
# /etc/velmora, where an administrator's changes survive upgrades; /usr/lib/velmora/Velmora.ini
# links to it.

set(VELMORA_HOMEPAGE "https://c-seed-a24d6c6b.example/velmora"
    CACHE STRING "Home page named by the package and the AppStream metadata")
set(VELMORA_APPSTREAM_ID "example.c_seed_a24d6c6b.velmora"
    CACHE STRING "AppStream component id (reverse DNS of the home page)")
set(VELMORA_MAINTAINER "Seed a24d6c6b maintainers <maintainers@users.noreply.c-seed-a24d6c6b.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(VELMORA_PROGRAM_DIR lib/velmora)
set(VELMORA_CONFIG_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/velmora)
set(VELMORA_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/velmora)
set(velmora_staging ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${velmora_staging}/bin)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS velmora velmora-tool RUNTIME DESTINATION ${VELMORA_PROGRAM_DIR})

# Relative links: /usr/bin and /usr/lib lie in the same top-level directory.
file(RELATIVE_PATH velmora_bin_to_programs ${CMAKE_INSTALL_FULL_BINDIR}
    ${CMAKE_INSTALL_PREFIX}/${VELMORA_PROGRAM_DIR})
foreach(program velmora velmora-tool)
    file(CREATE_LINK ${velmora_bin_to_programs}/${program} ${velmora_staging}/bin/${program} SYMBOLIC)
    install(FILES ${velmora_staging}/bin/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/Velmora.ini DESTINATION ${VELMORA_CONFIG_DIR})
# An absolute link: /etc is another top-level directory.
file(CREATE_LINK ${VELMORA_CONFIG_DIR}/Velmora.ini ${velmora_staging}/Velmora.ini SYMBOLIC)
install(FILES ${velmora_staging}/Velmora.ini DESTINATION ${VELMORA_PROGRAM_DIR})

install(FILES ${PROJECT_SOURCE_DIR}/resources/velmora.desktop
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
foreach(size 48 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/${size}x${size}/apps/velmora.png
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/resources/velmora.metainfo.xml.in
    ${velmora_staging}/${VELMORA_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${velmora_staging}/${VELMORA_APPSTREAM_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# Manual pages and the changelog are compressed without a time stamp, so that the same sources
# give the same package.
set(velmora_compressed)
foreach(page velmora.1 velmora-tool.1)
    configure_file(${PROJECT_SOURCE_DIR}/docs/${page} ${velmora_staging}/man/${page} @ONLY)
    list(APPEND velmora_compressed ${velmora_staging}/man/${page})
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${velmora_staging}/doc/changelog @ONLY)
list(APPEND velmora_compressed ${velmora_staging}/doc/changelog)
set(velmora_gz)
foreach(file ${velmora_compressed})
    add_custom_command(OUTPUT ${file}.gz
        COMMAND gzip -9 -n -f -k ${file}
        DEPENDS ${file}
        VERBATIM)
    list(APPEND velmora_gz ${file}.gz)
endforeach()
add_custom_target(velmora_package_files ALL DEPENDS ${velmora_gz})

install(FILES ${velmora_staging}/man/velmora.1.gz ${velmora_staging}/man/velmora-tool.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${velmora_staging}/doc/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
    DESTINATION ${VELMORA_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Velmora authors")
set(CPACK_PACKAGE_CONTACT ${VELMORA_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find Russian postal indexes by locality and street")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora keeps a local SQLite copy of the Russian address classifier KLADR
and looks up postal indexes in it by the name of a locality, of a street or
both, with % and _ as wildcards. Each of up to 100 variants comes with a
composed postal address ready to be copied onto an envelope.

The local database is built from the classifier's DBF files, or fetched from
an update location that an administrator prepares. velmora-tool does the
same from a terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMORA_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELMORA_HOMEPAGE})
# Libraries the programs link come from dpkg-shlibdeps. The SQLite driver is a Qt plug-in,
# loaded at run time, which no linker records: it is the one dependency named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite")
file(WRITE ${velmora_staging}/conffiles "${VELMORA_CONFIG_DIR}/Velmora.ini\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${velmora_staging}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
