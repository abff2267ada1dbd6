# CPack pre-build script: when CPACK_PATHWARDEN_SIGNED_IMAGE names a signed
# setup.exe, it takes the place of the unsigned one in the staging folder, so
# the zip holds the image the packager signed.
if(NOT CPACK_PATHWARDEN_SIGNED_IMAGE)
  return()
endif()
file(GLOB_RECURSE staged "${CPACK_TEMPORARY_DIRECTORY}/*setup.exe")
list(FILTER staged INCLUDE REGEX "/setup\\.exe$")
list(LENGTH staged count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one staged setup.exe, found: ${staged}")
endif()
file(COPY_FILE "${CPACK_PATHWARDEN_SIGNED_IMAGE}" "${staged}")
