# `cpack -G DEB` in the build directory makes orvandel_<version>_amd64.deb from what
# `cmake --install` puts under /usr. Library dependencies come from dpkg-shlibdeps; the rest are
# what the program loads at run time without linking it.
set(CPACK_PACKAGE_NAME orvandel)
set(CPACK_PACKAGE_VENDOR "Orvandel")
set(CPACK_PACKAGE_CONTACT "Orvandel developers <orvandel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Directory of the world's ship-owning companies")
set(CPACK_PACKAGE_DESCRIPTION "Search ship-owning companies by name and country, browse their fleets
by ship type, and add, change and delete records in one encrypted local
directory file. The user interface is in Simplified Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-arphic-uming, fonts-arphic-ukai, fonts-liberation, qt6-translations-l10n")
# The About box's system information tool, and the bitmaps of small Latin text (without them it
# is drawn in Liberation Serif, wider than the layouts measure; Debian lets a package recommend an
# X font, not depend on one).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hardinfo, xfonts-terminus")

# The compiler's name in each program's .comment section is of no use to whoever runs it;
# stripping leaves it, so it goes here, after the programs are installed.
find_program(OBJCOPY objcopy REQUIRED)
install(CODE "
  foreach(program orvandel orvandel-db)
    execute_process(COMMAND ${OBJCOPY} --remove-section=.comment
                            \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/orvandel/\${program}
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()")

include(CPack)
