# What the commands install, and the packages cpack makes of it: on
# Windows a .zip of one folder; elsewhere a Debian package and a .tar.gz.
# Included by the top-level CMakeLists.txt, which sets `man_pages`.

include(GNUInstallDirs)
# The page in the browser, as the web preset builds it and the repository
# keeps it: packaging needs no emscripten.
set(page ${PROJECT_SOURCE_DIR}/dist/freqimg.html)
# Who answers for the packages: a packager sets their own.
set(FREQIMG_MAINTAINER "The freqimg authors <maintainers@freqimg.example.org>"
    CACHE STRING "The Maintainer of the packages built here")

# What the archives (.tar.gz, .zip) add to the install: the licence.
set(CPACK_FREQIMG_ARCHIVE_DOCS ${PROJECT_BINARY_DIR}/archive-docs)
file(COPY ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CPACK_FREQIMG_ARCHIVE_DOCS})

if(WIN32)
    # A .zip of the programs, the README, the licence and the man pages as
    # text, all in one folder.
    install(TARGETS freqimg freqimg-inspect freqimg-send RUNTIME DESTINATION .)
    # Beside the programs: the page, an example list, and a few lines for a
    # person who has never opened a terminal, with Windows' own line ends.
    configure_file(packaging/start-here.txt "${PROJECT_BINARY_DIR}/START HERE.txt" @ONLY
                   NEWLINE_STYLE CRLF)
    install(FILES README.md ${page} examples/freq.dat "${PROJECT_BINARY_DIR}/START HERE.txt"
            DESTINATION .)
    set(CPACK_FREQIMG_ARCHIVE_DOCS_DESTINATION .)
    find_program(FREQIMG_GROFF groff REQUIRED)
    foreach(page ${man_pages})
        get_filename_component(name ${page} NAME_WE)
        set(text ${PROJECT_BINARY_DIR}/man/${name}.txt)
        add_custom_command(OUTPUT ${text}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
            COMMAND sh -c "${FREQIMG_GROFF} -man -Tascii -P-cbou \"$1\" > \"$2\"" sh
                    ${PROJECT_SOURCE_DIR}/${page} ${text}
            DEPENDS ${page} VERBATIM)
        list(APPEND man_texts ${text})
    endforeach()
    add_custom_target(man_texts ALL DEPENDS ${man_texts})
    install(FILES ${man_texts} DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME windows-x86_64)
else()
    install(TARGETS freqimg freqimg-inspect freqimg-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # Man pages and the changelog as Debian ships them: gzip -9n, so that the
    # same sources give the same bytes.
    set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/freqimg)
    foreach(source ${man_pages} packaging/changelog)
        get_filename_component(name ${source} NAME)
        set(packed ${PROJECT_BINARY_DIR}/packed/${name}.gz)
        add_custom_command(OUTPUT ${packed}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packed
            COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${PROJECT_SOURCE_DIR}/${source} ${packed}
            DEPENDS ${source} VERBATIM)
        list(APPEND packed_files ${packed})
        if(source MATCHES "^man/")
            install(FILES ${packed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
        else()
            install(FILES ${packed} DESTINATION ${doc_dir})
        endif()
    endforeach()
    add_custom_target(packed_docs ALL DEPENDS ${packed_files})
    install(FILES README.md packaging/copyright DESTINATION ${doc_dir})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_DATADIR}/freqimg)
    # The Debian package's menu entry opens the page where the package puts
    # it; an archive unpacked anywhere has no such place.
    # (cpack's Debian packages install under /usr).
    set(CPACK_FREQIMG_DEB_EXTRAS ${PROJECT_BINARY_DIR}/deb-extras)
    set(FREQIMG_INSTALLED_PAGE /usr/${CMAKE_INSTALL_DATADIR}/freqimg/freqimg.html)
    configure_file(packaging/freqimg.desktop.in ${CPACK_FREQIMG_DEB_EXTRAS}/freqimg.desktop @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            RENAME freqimg)
    install(FILES completions/freqimg completions/freqimg-inspect completions/freqimg-send
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
    set(CPACK_FREQIMG_ARCHIVE_DOCS_DESTINATION ${doc_dir})
    set(CPACK_GENERATOR DEB TGZ)
endif()

# The changelog is the package's: its first entry names this version.
file(STRINGS packaging/changelog latest LIMIT_COUNT 1)
if(NOT latest MATCHES "^freqimg \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog does not begin with version ${PROJECT_VERSION}")
endif()

# Packages: the package workflow (cpack) makes a Debian package and a
# .tar.gz of the commands, their man pages and completions; the
# windows-package workflow a .zip.
set(CPACK_PACKAGE_NAME freqimg)
set(CPACK_PACKAGE_CONTACT "${FREQIMG_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns a list of radio channels into a memory upload stream")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "freqimg turns a list of twenty radio channels (freq.dat) into the exact\n"
    "byte stream that uploads a transceiver's whole 1024-byte memory image.\n"
    "freqimg-inspect checks a stream and shows what it would program;\n"
    "freqimg-send checks it and sends it to the radio over a serial line.\n"
    "The channel editor, a page for the browser that edits the list, checks\n"
    "and saves the stream, sends it and keeps a backup, is installed as\n"
    "/usr/share/freqimg/freqimg.html, with a desktop menu entry.")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack_per_generator.cmake)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
# The menu entry opens the page with xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
# Static commands need nothing at run time; otherwise ask dpkg-shlibdeps.
if(FREQIMG_LINKS_STATIC_PIE)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)

# The release preset's target: everything a release offers, in one folder
# and reproducibly (cmake/release.sh).
if(NOT WIN32)
    add_custom_target(release
        COMMAND ${PROJECT_SOURCE_DIR}/cmake/release.sh ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}
        DEPENDS freqimg freqimg-inspect freqimg-send packed_docs
        USES_TERMINAL VERBATIM)
endif()
