# mt_version_files(VERSION_TEXT OUT_DIR): writes the files that carry a program version into
# OUT_DIR/generated: Version.cpp (the text the program shows), version.h (the version
# resources), release.env and release.nsh (what tools/package.sh and the installer read).
# VERSION_TEXT reads v<major>.<minor>[.<patch>]; the numeric version (1.3.0.0) is derived
# from it. This tree's own files and those of the next version's program (the upgrade tests)
# come from here, so the two can differ only in the version.
function(mt_version_files version_text out_dir)
  if(NOT version_text MATCHES "^v([0-9]+)\\.([0-9]+)(\\.([0-9]+))?$")
    message(FATAL_ERROR "a program version reads v<major>.<minor>[.<patch>], not "
                        "'${version_text}'")
  endif()
  set(MT_PROGRAM_VERSION "${version_text}")
  set(PROJECT_VERSION_MAJOR "${CMAKE_MATCH_1}")
  set(PROJECT_VERSION_MINOR "${CMAKE_MATCH_2}")
  set(PROJECT_VERSION_PATCH "${CMAKE_MATCH_4}")
  if(PROJECT_VERSION_PATCH STREQUAL "")
    set(PROJECT_VERSION_PATCH 0)
  endif()
  set(PROJECT_VERSION_TWEAK 0)
  set(PROJECT_VERSION
      "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(dir ${out_dir}/generated)
  configure_file(${CMAKE_SOURCE_DIR}/app/Version.cpp.in ${dir}/Version.cpp @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/resources/version.h.in ${dir}/version.h @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/installer/release.env.in ${dir}/release.env @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/installer/release.nsh.in ${dir}/release.nsh @ONLY)
endfunction()
