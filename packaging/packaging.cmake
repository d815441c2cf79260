# Installing and packaging: `cmake --install` puts vx37-panel and vx37-sim under bin/, and on
# a freedesktop system the desktop entry, the icon in the hicolor theme, the AppStream
# metainfo and the manual pages beside them; `cpack` (scripts/package) makes the .deb.
# Included at the end of the top-level CMakeLists.txt, after every target exists.
include(GNUInstallDirs)

set(VX37_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

if(TARGET vx37-panel)
    install(TARGETS vx37-panel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET vx37-sim)
    install(TARGETS vx37-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET vx37-ctl)
    install(TARGETS vx37-ctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET vx37d)
    install(TARGETS vx37d RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Everything `cmake --install` copies: scripts/package builds only this, not the tests.
add_custom_target(vx37-install-set)
if(TARGET vx37-panel)
    add_dependencies(vx37-install-set vx37-panel)
endif()
if(TARGET vx37-sim)
    add_dependencies(vx37-install-set vx37-sim)
endif()
if(TARGET vx37-ctl)
    add_dependencies(vx37-install-set vx37-ctl)
endif()
if(TARGET vx37d)
    add_dependencies(vx37-install-set vx37d)
endif()

if(UNIX AND NOT APPLE)
    install(FILES ${VX37_PACKAGING_DIR}/vx37-panel.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${VX37_PACKAGING_DIR}/org.vx37control.panel.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    set(VX37_ICON_SIZES 16 22 24 32 48 64 128 256)
    install(FILES ${VX37_PACKAGING_DIR}/icons/vx37-panel.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size ${VX37_ICON_SIZES})
        install(FILES ${VX37_PACKAGING_DIR}/icons/hicolor/${size}x${size}/vx37-panel.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()

    # The manual pages are written in scdoc's plain format and turned into troff here.
    find_program(VX37_SCDOC scdoc)
    find_program(VX37_GZIP gzip)
    set(VX37_MAN_PAGES vx37-panel.1)
    if(TARGET vx37-sim)
        list(APPEND VX37_MAN_PAGES vx37-sim.1)
    endif()
    if(TARGET vx37-ctl)
        list(APPEND VX37_MAN_PAGES vx37-ctl.1)
        # Completes vx37-ctl's command names, where Debian's bash-completion looks.
        install(FILES ${VX37_PACKAGING_DIR}/completion/vx37-ctl
                DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
    endif()
    if(TARGET vx37d)
        list(APPEND VX37_MAN_PAGES vx37d.1)
        # One service per projector, not enabled: the systemd template unit where Debian's
        # systemd looks, and an example configuration beside the documentation.
        install(FILES ${VX37_PACKAGING_DIR}/systemd/vx37d@.service
                DESTINATION lib/systemd/system)
        install(FILES ${VX37_PACKAGING_DIR}/vx37d.conf
                DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vx37-panel/examples)
    endif()
    set(VX37_MAN_DIR ${CMAKE_BINARY_DIR}/man)
    set(VX37_MAN_FILES)
    if(VX37_SCDOC)
        foreach(page ${VX37_MAN_PAGES})
            set(output ${VX37_MAN_DIR}/${page})
            if(VX37_GZIP)
                string(APPEND output .gz)
            endif()
            add_custom_command(
                OUTPUT ${output}
                COMMAND ${CMAKE_COMMAND} -DSCDOC=${VX37_SCDOC} -DGZIP=${VX37_GZIP}
                        -DSOURCE=${VX37_PACKAGING_DIR}/man/${page}.scd -DOUTPUT=${output}
                        -P ${VX37_PACKAGING_DIR}/man/build_man_page.cmake
                DEPENDS ${VX37_PACKAGING_DIR}/man/${page}.scd
                        ${VX37_PACKAGING_DIR}/man/build_man_page.cmake
                COMMENT "Manual page ${page}"
                VERBATIM)
            list(APPEND VX37_MAN_FILES ${output})
        endforeach()
        add_custom_target(vx37-man-pages ALL DEPENDS ${VX37_MAN_FILES})
        add_dependencies(vx37-install-set vx37-man-pages)
        install(FILES ${VX37_MAN_FILES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
        message(WARNING "scdoc not found (Debian package scdoc): the manual pages are neither "
                        "built nor installed")
    endif()

    # The documentation Debian asks of every package: the copyright file in its
    # machine-readable format, carrying the terms of LICENSE, and the changelog, compressed.
    set(VX37_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vx37-panel)
    file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
    string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${licence}")
    set(VX37_COPYRIGHT "${CMAKE_MATCH_1}")
    string(FIND "${licence}" "Permission is hereby granted" start)
    string(SUBSTRING "${licence}" ${start} -1 terms)
    string(STRIP "${terms}" terms)
    # Continuation lines start with a blank; an empty line is written " .".
    string(REPLACE "\n\n" "\n.\n" terms "${terms}")
    string(REPLACE "\n" "\n " VX37_LICENCE_TERMS " ${terms}")
    configure_file(${VX37_PACKAGING_DIR}/copyright.in ${CMAKE_BINARY_DIR}/doc/copyright @ONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
    install(FILES ${CMAKE_BINARY_DIR}/doc/copyright DESTINATION ${VX37_DOC_DIR})
    # The manual pages point here for the device server's configuration.
    install(FILES ${PROJECT_SOURCE_DIR}/docs/network.md DESTINATION ${VX37_DOC_DIR})
    if(VX37_GZIP)
        set(changelog ${CMAKE_BINARY_DIR}/doc/changelog)
        add_custom_command(
            OUTPUT ${changelog}.gz
            COMMAND ${CMAKE_COMMAND} -E copy ${VX37_PACKAGING_DIR}/changelog ${changelog}
            COMMAND ${VX37_GZIP} -9 -n -f ${changelog}
            DEPENDS ${VX37_PACKAGING_DIR}/changelog
            COMMENT "Changelog"
            VERBATIM)
        add_custom_target(vx37-changelog ALL DEPENDS ${changelog}.gz)
        add_dependencies(vx37-install-set vx37-changelog)
        install(FILES ${changelog}.gz DESTINATION ${VX37_DOC_DIR})
    endif()

    # The Debian package. CPack runs dpkg-shlibdeps on the binaries, which adds the
    # libraries they link (Qt 6 Core, Gui, Widgets, SerialPort, libstdc++, libc) with
    # their versions; the rest are needs no linker sees.
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME vx37-panel)
    set(CPACK_PACKAGE_VENDOR "VX37 Control")
    set(CPACK_PACKAGE_CONTACT "${VX37_PACKAGE_CONTACT}")
    if(NOT CPACK_PACKAGE_CONTACT)
        set(CPACK_PACKAGE_CONTACT "VX37 Control maintainers <maintainers@vx37control.invalid>")
    endif()
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
        "remote-control panel for the VX37 video projector over RS-232")
    # The summary above is the first line; this is the body.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "A desktop panel laid out like the VX37 projector's remote control. Every
button sends the projector's short ASCII command over the serial line, held
buttons repeat, the traffic is echoed on TXD/RXD monitor lines and status
replies are decoded into plain words. A service view lets a technician type
any command.

Also contains vx37-sim, a VX37 projector simulated on a pseudo-terminal, for
trying the panel without a projector; vx37-ctl, which sends the panel's
commands and decodes the status replies from the command line, for scripts;
and vx37d, a PJLink class 1 bridge that lets room-control systems drive
the projector over the network, with a systemd service per projector.")
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    # No Debian revision: the packaging is part of this source, so the package is native
    # and its changelog is packaging/changelog, whose latest entry is this version.
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The panel's two faces are asked for by name and substituted with IPA Gothic, without
    # which the arrows and the Japanese caption would not show. (The platform plugins the
    # window opens with, xcb and offscreen, ship in libqt6gui6 itself.)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
    set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
    include(CPack)
endif()
