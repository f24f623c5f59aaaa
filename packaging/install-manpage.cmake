# Run by the install step (make install, make deb): the manual page names
# where the program and its documents are, which only the install step knows
# (the prefix is chosen then), so the page is finished here and gzipped.
#   PAGE    the page as the build made it, with @BINDIR@ and @DOCDIR@
#   WORK    a folder of the build tree for the finished page
#   BINDIR, MANDIR, DOCDIR  relative to the install prefix
file(READ ${PAGE} page)
foreach(dir BINDIR DOCDIR)
  set(path ${CMAKE_INSTALL_PREFIX}/${${dir}})
  # A "-" in a path is a hyphen to groff, and hyphens do not survive copying.
  string(REPLACE "-" "\\-" path "${path}")
  string(REPLACE "@${dir}@" "${path}" page "${page}")
endforeach()
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/quillet.1 "${page}")
# -n: no name and time stamp in the header, so the same page gives the same bytes.
execute_process(COMMAND gzip -9nf ${WORK}/quillet.1 RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip ${WORK}/quillet.1 failed")
endif()
file(INSTALL ${WORK}/quillet.1.gz DESTINATION ${CMAKE_INSTALL_PREFIX}/${MANDIR}/man1
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
