# Read by cpack once for each generator: the archives carry the licence as a
# file of its own; the Debian package carries it in its copyright file.
if(CPACK_GENERATOR MATCHES "TGZ|ZIP")
    set(CPACK_INSTALLED_DIRECTORIES "${CPACK_FREQIMG_ARCHIVE_DOCS};${CPACK_FREQIMG_ARCHIVE_DOCS_DESTINATION}")
endif()
