# What tools/package hands to CPack: a Debian package of everything `cmake --install` puts in place
# (the program, its manual page, menu entry, icons and AppStream metadata).
set(CPACK_PACKAGE_NAME torvane)
set(CPACK_PACKAGE_VENDOR Quillfen)
set(CPACK_PACKAGE_CONTACT Quillfen)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fetches Descent 3 missions before the game starts")
set(CPACK_PACKAGE_DESCRIPTION
  "Given the name of a mission by a server browser, a script or the player,\n"
  "torv looks for it in the game's missions folder, downloads it from the\n"
  "configured mission sites when it is missing, unpacks it and starts the\n"
  "game. Without arguments it opens its configuration dialog.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
else()
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# Library dependencies come from the binary itself (dpkg-shlibdeps, in dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A Windows game runs through wine; a native engine or Steam needs neither.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)

include(CPack)
