# Run by `cmake --install`: writes the thumbnailer entry with the installed
# program's full path (the prefix is known only now) and brings the shared
# MIME database under the prefix up to date. The caller sets
# VOXARO_THUMBNAILER_IN, VOXARO_THUMBNAILER_OUT, VOXARO_BINDIR and VOXARO_DATADIR.
foreach(dir BINDIR DATADIR)
  if(IS_ABSOLUTE "${VOXARO_${dir}}")
    set(${dir} "${VOXARO_${dir}}")
  else()
    set(${dir} "${CMAKE_INSTALL_PREFIX}/${VOXARO_${dir}}")
  endif()
endforeach()

set(VOXARO_PROGRAM "${BINDIR}/voxaro")
configure_file("${VOXARO_THUMBNAILER_IN}" "${VOXARO_THUMBNAILER_OUT}" @ONLY)
file(INSTALL DESTINATION "${DATADIR}/thumbnailers" TYPE FILE FILES "${VOXARO_THUMBNAILER_OUT}")

# Packagers (DESTDIR) leave this to the package manager's trigger.
if("$ENV{DESTDIR}" STREQUAL "")
  find_program(UPDATE_MIME_DATABASE update-mime-database)
  if(UPDATE_MIME_DATABASE)
    message(STATUS "Updating the MIME database: ${DATADIR}/mime")
    execute_process(COMMAND "${UPDATE_MIME_DATABASE}" "${DATADIR}/mime" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(WARNING "update-mime-database failed (${result}); STEP files may not get thumbnails until it runs")
    endif()
  else()
    message(STATUS "update-mime-database not found: run it on ${DATADIR}/mime for STEP thumbnails")
  endif()
endif()
