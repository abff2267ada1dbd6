# CPack post-build script: CPack's zip carries the files' times, the order the
# folder listed them in and their permissions; rewrite it so that two builds
# of one commit give the same bytes.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  execute_process(
    COMMAND "${CPACK_PATHWARDEN_PYTHON}" "${CPACK_PATHWARDEN_SOURCE_DIR}/cmake/deterministic_zip.py"
            --source "${CPACK_PATHWARDEN_SOURCE_DIR}" "${package}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "could not rewrite ${package}")
  endif()
endforeach()
