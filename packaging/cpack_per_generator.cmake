# Read by cpack once for each generator: the archives carry the licence as a
# file of its own; the Debian package carries it in its copyright file.
# The Debian package alone has a desktop menu entry, which opens the page
# where the package puts it.
if(CPACK_GENERATOR MATCHES "TGZ|ZIP")
    set(CPACK_INSTALLED_DIRECTORIES "${CPACK_FREQIMG_ARCHIVE_DOCS};${CPACK_FREQIMG_ARCHIVE_DOCS_DESTINATION}")
elseif(CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_INSTALLED_DIRECTORIES "${CPACK_FREQIMG_DEB_EXTRAS};usr/share/applications")
endif()
