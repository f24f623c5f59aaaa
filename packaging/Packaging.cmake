# Version, manual page, example INI file, install rules and packages.
# Included at the end of the top-level CMakeLists.txt; the version itself is
# set once, in its project() call.

set(QUILLET_DESCRIPTION "Picks an author's revisions from a cvs log and writes a report")
set(QUILLET_DOC_DIR ${CMAKE_BINARY_DIR}/doc)
set(QUILLET_PACKAGING ${CMAKE_CURRENT_SOURCE_DIR}/packaging)

# --- version: a header for the program, a resource for Quillet.exe ------------
if(WIN32)
  set(QUILLET_PROGRAM_NAME Quillet)
else()
  set(QUILLET_PROGRAM_NAME quillet)
endif()
configure_file(${QUILLET_PACKAGING}/uQuilletVersion.h.in ${CMAKE_BINARY_DIR}/generated/uQuilletVersion.h @ONLY)
target_include_directories(quillet PRIVATE ${CMAKE_BINARY_DIR}/generated)
if(WIN32)
  enable_language(RC)
  configure_file(${QUILLET_PACKAGING}/Quillet.rc.in ${CMAKE_BINARY_DIR}/generated/Quillet.rc @ONLY)
  target_sources(quillet PRIVATE ${CMAKE_BINARY_DIR}/generated/Quillet.rc)
endif()
if(WIN32 AND QUILLET_TESTS)
  # Reads the resource back as Windows does (tools/test-install.sh, under wine).
  add_executable(versioninfo ${QUILLET_PACKAGING}/versioninfo.cpp)
  target_compile_options(versioninfo PRIVATE ${QUILLET_WARNINGS})
  target_link_libraries(versioninfo PRIVATE version)
endif()
if(TARGET e2e_tests)
  target_compile_definitions(e2e_tests PRIVATE QUILLET_VERSION="${PROJECT_VERSION}")
endif()

# --- documents made by the program itself -------------------------------------
if(WIN32)
  # The Windows parts of README.md as plain text with CR LF line ends (Notepad),
  # so that the two cannot drift.
  add_custom_command(OUTPUT ${QUILLET_DOC_DIR}/README.txt
    COMMAND sh ${QUILLET_PACKAGING}/readme-txt.sh ${CMAKE_CURRENT_SOURCE_DIR}/README.md ${QUILLET_DOC_DIR}/README.txt
            ${PROJECT_VERSION}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/README.md ${QUILLET_PACKAGING}/readme-txt.sh)
  add_custom_target(quillet_readme ALL DEPENDS ${QUILLET_DOC_DIR}/README.txt)
  # Runs Quillet.exe under wine, so it is built for the package only.
  add_custom_target(quillet_example_ini
    COMMAND sh ${QUILLET_PACKAGING}/example-ini.sh --wine ${CMAKE_CURRENT_SOURCE_DIR}/cmake/wine-run.sh
            ${QUILLET_DOC_DIR} $<TARGET_FILE:quillet> Quillet.ini
    DEPENDS quillet ${QUILLET_PACKAGING}/example-ini.sh)
else()
  add_custom_command(OUTPUT ${QUILLET_DOC_DIR}/quillet.1
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILLET_DOC_DIR}
    COMMAND sh ${QUILLET_PACKAGING}/make-manpage.sh $<TARGET_FILE:quillet> ${QUILLET_PACKAGING}/quillet.1.in
            ${QUILLET_DOC_DIR}/quillet.1 ${PROJECT_VERSION}
    DEPENDS quillet ${QUILLET_PACKAGING}/make-manpage.sh ${QUILLET_PACKAGING}/quillet.1.in)
  # Until the program has its export, the file is not made and this runs on
  # every build (a fraction of a second).
  add_custom_command(OUTPUT ${QUILLET_DOC_DIR}/quillet.ini
    COMMAND sh ${QUILLET_PACKAGING}/example-ini.sh ${QUILLET_DOC_DIR} $<TARGET_FILE:quillet> quillet.ini
    DEPENDS quillet ${QUILLET_PACKAGING}/example-ini.sh)
  # The package's own changelog, gzipped as Debian keeps it (-n: same bytes every time).
  add_custom_command(OUTPUT ${QUILLET_DOC_DIR}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILLET_DOC_DIR}
    COMMAND gzip -9n <${QUILLET_PACKAGING}/changelog >${QUILLET_DOC_DIR}/changelog.gz
    DEPENDS ${QUILLET_PACKAGING}/changelog)
  add_custom_target(quillet_docs ALL
    DEPENDS ${QUILLET_DOC_DIR}/quillet.1 ${QUILLET_DOC_DIR}/quillet.ini ${QUILLET_DOC_DIR}/changelog.gz)
endif()

# --- install ------------------------------------------------------------------
if(WIN32)
  # The zip's layout: everything beside the program, as Windows users keep it.
  install(TARGETS quillet RUNTIME DESTINATION .)
  install(FILES ${QUILLET_DOC_DIR}/README.txt DESTINATION .)
  # Not under the name the program reads: a live file beside Quillet.exe would
  # give every run its placeholders. The README says how to put it to use.
  install(FILES ${QUILLET_DOC_DIR}/Quillet.ini DESTINATION . RENAME Quillet.example.ini OPTIONAL)
else()
  include(GNUInstallDirs)
  set(QUILLET_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillet)
  install(TARGETS quillet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(CODE "
    set(PAGE ${QUILLET_DOC_DIR}/quillet.1)
    set(WORK ${CMAKE_BINARY_DIR}/install-manpage)
    set(BINDIR ${CMAKE_INSTALL_BINDIR})
    set(MANDIR ${CMAKE_INSTALL_MANDIR})
    set(DOCDIR ${QUILLET_INSTALL_DOCDIR})
    include(${QUILLET_PACKAGING}/install-manpage.cmake)")
  install(FILES README.md ${QUILLET_DOC_DIR}/changelog.gz ${QUILLET_PACKAGING}/copyright
          DESTINATION ${QUILLET_INSTALL_DOCDIR})
  install(FILES ${QUILLET_DOC_DIR}/quillet.ini DESTINATION ${QUILLET_INSTALL_DOCDIR} OPTIONAL)
endif()

# --- packages: a Debian package of the native program, a zip of Quillet.exe --
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${QUILLET_DESCRIPTION})
set(CPACK_PACKAGE_CONTACT "Seed da2207b0 maintainers <maintainers@users.noreply.c-seed-da2207b0.example>")
# The package targets build what they pack themselves (the Makefile's deb and
# zip): without this, packing would first build every test program.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
# Quillet.exe too: its debug sections were most of the zip.
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME Quillet)
  set(CPACK_PACKAGE_FILE_NAME Quillet-${PROJECT_VERSION}-win32)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME quillet)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # The libraries the program links (libc6, libstdc++6, later libncursesw6)
  # become Depends with the versions they need.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The summary above becomes the first line; this is the text below it,
  # in lines that fit the 80 columns of a terminal.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillet reads what cvs log printed, picks the files that have a revision by
one author on a date that meets a condition, and puts a report in front of an
output file, so that weekly runs collect their reports newest first.")
endif()
include(CPack)
