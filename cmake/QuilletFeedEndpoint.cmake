# quillet_feed_endpoint(<target> [URL <url>] [CROSSREF_API <url>] [CA <pem-file>])
#
# Compiles the feed endpoint into <target>: a generated source that defines
# quilletFeedEndpoint(). An empty or absent URL means Crossref direct, at
# CROSSREF_API (default https://api.crossref.org/). The program proper gets the
# cache variables; tests and the demo build their own variants against a
# loopback server and a test CA.
set(_quillet_endpoint_template "${CMAKE_CURRENT_LIST_DIR}/feed_endpoint.cpp.in")

function(quillet_feed_endpoint target)
  cmake_parse_arguments(ARG "" "URL;CROSSREF_API;CA" "" ${ARGN})
  set(QUILLET_ENDPOINT_URL "${ARG_URL}")
  set(QUILLET_ENDPOINT_CROSSREF_API "https://api.crossref.org/")
  if(ARG_CROSSREF_API)
    set(QUILLET_ENDPOINT_CROSSREF_API "${ARG_CROSSREF_API}")
  endif()
  set(QUILLET_ENDPOINT_CA_PEM "")
  if(ARG_CA)
    if(NOT EXISTS "${ARG_CA}")
      message(FATAL_ERROR "quillet_feed_endpoint(${target}): CA file '${ARG_CA}' does not exist")
    endif()
    file(READ "${ARG_CA}" QUILLET_ENDPOINT_CA_PEM)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ARG_CA}")
  endif()
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_feed_endpoint.cpp")
  configure_file("${_quillet_endpoint_template}" "${out}" @ONLY)
  target_sources(${target} PRIVATE "${out}")
endfunction()
