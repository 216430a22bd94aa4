# The application's identity. The version is project()'s; the code reads it,
# the desktop id and the update feed from a generated header
# (MireloIdentity.h, target mirelo_identity), and data/ and the package read
# the same variables.
set(MIRELO_APP_ID "io.github.mirelo.Mirelo")
set(MIRELO_HOMEPAGE "https://github.com/mirelo/mirelo")
# The date of the release named by the version, for the metadata.
set(MIRELO_RELEASE_DATE "2026-12-09")

configure_file(${CMAKE_CURRENT_LIST_DIR}/MireloIdentity.h.in
  ${PROJECT_BINARY_DIR}/generated/MireloIdentity.h @ONLY)
add_library(mirelo_identity INTERFACE)
target_include_directories(mirelo_identity INTERFACE ${PROJECT_BINARY_DIR}/generated)
