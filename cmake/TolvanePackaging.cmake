# The release packages, made by CPack in the trees that ship
# (TOLVANE_PACKAGING): the Debian package of the terminal program from the
# `deb` preset, the zip of the 32-bit Windows program from `win32-release`.
# `make package` builds both and checks them (scripts/check-packages.sh).
# Every version number in them is the project's.
set(TOLVANE_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(TOLVANE_PACKAGE_FILES_DIR ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${TOLVANE_PACKAGE_FILES_DIR})

set(CPACK_PACKAGE_NAME Tolvane)
set(CPACK_PACKAGE_VENDOR "The Tolvane developers")
# All four parts (CPack would take three).
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tolvane maintainers <maintainers@users.noreply.c-seed-f3920c00.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "switch a USB SCSI adapter between its serial and mass-storage states")
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  # Tolvane-<version>-win32.zip: the program and a Japanese README.txt (with
  # an English section at its end) in a folder of the same name. README.txt
  # is UTF-8 with a byte-order mark and CRLF line ends, which every Notepad
  # from Windows 7 on reads right.
  configure_file(${TOLVANE_PACKAGING_DIR}/README.txt.in ${TOLVANE_PACKAGE_FILES_DIR}/README.txt.lf
    @ONLY)
  file(READ ${TOLVANE_PACKAGE_FILES_DIR}/README.txt.lf readme)
  string(REPLACE "\n" "\r\n" readme "${readme}")
  string(ASCII 239 187 191 utf8_bom)
  file(WRITE ${TOLVANE_PACKAGE_FILES_DIR}/README.txt "${utf8_bom}${readme}")
  # LICENSE.txt: the project's licence and the notices of the runtime
  # pieces that the static link puts into Tolvane.exe, CRLF (ASCII).
  file(READ ${CMAKE_SOURCE_DIR}/LICENSE license)
  file(READ ${TOLVANE_PACKAGING_DIR}/win32-notices.txt notices)
  string(REPLACE "\n" "\r\n" license "${license}\n${notices}")
  file(WRITE ${TOLVANE_PACKAGE_FILES_DIR}/LICENSE.txt "${license}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/LICENSE ${TOLVANE_PACKAGING_DIR}/win32-notices.txt)
  install(TARGETS Tolvane RUNTIME DESTINATION .)
  install(FILES ${TOLVANE_PACKAGE_FILES_DIR}/README.txt ${TOLVANE_PACKAGE_FILES_DIR}/LICENSE.txt
    DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
else()
  # tolvane_<version>_<arch>.deb. The changelog's latest entry must name the
  # project's version: a new version needs its entry first.
  file(STRINGS ${TOLVANE_PACKAGING_DIR}/changelog changelog_head LIMIT_COUNT 1)
  if(NOT changelog_head MATCHES "^tolvane \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: the latest entry is '${changelog_head}', "
      "not version ${PROJECT_VERSION}; add an entry for it")
  endif()
  # Debian compresses manual pages and changelogs with gzip -9n (no name,
  # no time stamp: the same bytes on every build). The Japanese manual page
  # goes under man/ja with the English one's name.
  foreach(pair "docs/tolvane.1;tolvane.1.gz" "docs/tolvane.ja.1;tolvane.ja.1.gz"
      "packaging/changelog;changelog.gz")
    list(GET pair 0 source)
    list(GET pair 1 packed)
    execute_process(COMMAND gzip -9n -c
      INPUT_FILE ${CMAKE_SOURCE_DIR}/${source}
      OUTPUT_FILE ${TOLVANE_PACKAGE_FILES_DIR}/${packed}
      COMMAND_ERROR_IS_FATAL ANY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${source})
  endforeach()

  # The README for users, without what points into the source tree: its
  # pictures go, and a link to a file of the tree keeps only its text (links
  # to the web and within the page stay).
  execute_process(COMMAND sed -E
      -e "/^!\\[[^]]*\\]\\([^)]*\\)$/d"
      -e "s/\\[([^]]*)\\]\\(([^):#][^):]*)\\)/\\1/g"
    INPUT_FILE ${CMAKE_SOURCE_DIR}/README.md
    OUTPUT_FILE ${TOLVANE_PACKAGE_FILES_DIR}/README.md
    COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md)

  # AppStream metadata; its release is the changelog's latest entry, dated
  # as the entry's trailer line says (" -- NAME  Sun, 06 Dec 2026 ...").
  set(TOLVANE_APPSTREAM_ID org.tolvane.tolvane)
  file(STRINGS ${TOLVANE_PACKAGING_DIR}/changelog trailer REGEX "^ -- " LIMIT_COUNT 1)
  if(NOT trailer MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "packaging/changelog: no date in '${trailer}'")
  endif()
  set(day ${CMAKE_MATCH_1})
  set(year ${CMAKE_MATCH_3})
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(FIND months ${CMAKE_MATCH_2} month)
  if(month LESS 0)
    message(FATAL_ERROR "packaging/changelog: no month '${CMAKE_MATCH_2}' in '${trailer}'")
  endif()
  math(EXPR month "${month} + 1")
  if(month LESS 10)
    set(month 0${month})
  endif()
  set(TOLVANE_RELEASE_DATE ${year}-${month}-${day})
  configure_file(${TOLVANE_PACKAGING_DIR}/tolvane.metainfo.xml.in
    ${TOLVANE_PACKAGE_FILES_DIR}/${TOLVANE_APPSTREAM_ID}.metainfo.xml @ONLY)

  set(doc_dir share/doc/tolvane)
  install(TARGETS tolvane RUNTIME DESTINATION bin)
  install(FILES ${TOLVANE_PACKAGE_FILES_DIR}/tolvane.1.gz DESTINATION share/man/man1)
  install(FILES ${TOLVANE_PACKAGE_FILES_DIR}/tolvane.ja.1.gz DESTINATION share/man/ja/man1
    RENAME tolvane.1.gz)
  # Where udev and lintian look on Debian 12, /usr/lib by the merged /usr.
  install(FILES ${TOLVANE_PACKAGING_DIR}/60-tolvane.rules DESTINATION /lib/udev/rules.d)
  install(FILES ${TOLVANE_PACKAGE_FILES_DIR}/README.md ${TOLVANE_PACKAGING_DIR}/copyright
    ${TOLVANE_PACKAGE_FILES_DIR}/changelog.gz DESTINATION ${doc_dir})
  install(FILES ${TOLVANE_PACKAGE_FILES_DIR}/${TOLVANE_APPSTREAM_ID}.metainfo.xml
    DESTINATION share/metainfo)
  # Loaded on demand by bash-completion when `tolvane` is completed.
  install(FILES ${TOLVANE_PACKAGING_DIR}/tolvane.bash-completion
    DESTINATION share/bash-completion/completions RENAME tolvane)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # One line per line of the control file's description (CPack does not
  # wrap), an empty line between paragraphs.
  set(CPACK_PACKAGE_DESCRIPTION "Tolvane drives a USB-attached SCSI adapter used with old computers. In its
normal state the adapter shows up as two USB CDC serial ports; on request it
turns into a USB mass-storage device that exposes the disk of one SCSI
target, read-only or writable, and back again.

The program is a dialog on the terminal (ncursesw) and the commands
status, switch and return for scripts, in Japanese under a Japanese locale
and in English under any other; --simulate runs it on a virtual PC. A udev
rule keeps ModemManager away from the adapter's serial ports and lets the
user at the seat open them.")
  set(CPACK_DEBIAN_PACKAGE_NAME tolvane)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Run-time dependencies from the program's shared libraries
  # (dpkg-shlibdeps), not written by hand.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
