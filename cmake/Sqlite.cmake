# The simulated Ingres catalog is a SQLite database. The SQLite amalgamation is taken at configure
# time from a pinned release of an npm package that carries it (deps/sqlite3/), checked against
# recorded checksums, and compiled with the cross toolchain. It is never committed.
set(FERRY_SQLITE_NPM_PACKAGE "better-sqlite3@12.11.1")
set(FERRY_SQLITE_TGZ_NAME "better-sqlite3-12.11.1.tgz")
set(FERRY_SQLITE_TGZ_SHA256 "ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835")
set(FERRY_SQLITE_C_SHA256 "60d2f39a3726cd6b9021da6f4e868608d66fbb6528a9f513dc8ffcc640493422")
set(FERRY_SQLITE_H_SHA256 "9e69a1353a4288450b0d5239ede11fc7f1f4c8e5eb07491fc8317eacb5b7de7e")

set(_sqlite_dir ${CMAKE_BINARY_DIR}/_deps/sqlite)
set(_sqlite_c ${_sqlite_dir}/src/sqlite3.c)
set(_sqlite_h ${_sqlite_dir}/src/sqlite3.h)

function(_ferry_sqlite_verified out)
  set(${out} FALSE PARENT_SCOPE)
  if(EXISTS ${_sqlite_c} AND EXISTS ${_sqlite_h})
    file(SHA256 ${_sqlite_c} c_hash)
    file(SHA256 ${_sqlite_h} h_hash)
    if(c_hash STREQUAL FERRY_SQLITE_C_SHA256 AND h_hash STREQUAL FERRY_SQLITE_H_SHA256)
      set(${out} TRUE PARENT_SCOPE)
    endif()
  endif()
endfunction()

_ferry_sqlite_verified(_sqlite_ok)
if(NOT _sqlite_ok)
  find_program(FERRY_NPM npm REQUIRED)
  file(REMOVE_RECURSE ${_sqlite_dir})
  file(MAKE_DIRECTORY ${_sqlite_dir}/download ${_sqlite_dir}/src)
  message(STATUS "Fetching the SQLite amalgamation from ${FERRY_SQLITE_NPM_PACKAGE}")
  execute_process(
    COMMAND ${FERRY_NPM} pack ${FERRY_SQLITE_NPM_PACKAGE} --silent
    WORKING_DIRECTORY ${_sqlite_dir}/download
    RESULT_VARIABLE npm_rc
    OUTPUT_QUIET)
  set(_tgz ${_sqlite_dir}/download/${FERRY_SQLITE_TGZ_NAME})
  if(NOT npm_rc EQUAL 0 OR NOT EXISTS ${_tgz})
    message(FATAL_ERROR "npm pack ${FERRY_SQLITE_NPM_PACKAGE} failed (exit ${npm_rc})")
  endif()
  file(SHA256 ${_tgz} tgz_hash)
  if(NOT tgz_hash STREQUAL FERRY_SQLITE_TGZ_SHA256)
    message(FATAL_ERROR "${FERRY_SQLITE_TGZ_NAME}: checksum ${tgz_hash} does not match the recorded one")
  endif()
  file(ARCHIVE_EXTRACT INPUT ${_tgz} DESTINATION ${_sqlite_dir}/download
       PATTERNS package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h)
  file(COPY ${_sqlite_dir}/download/package/deps/sqlite3/sqlite3.c
            ${_sqlite_dir}/download/package/deps/sqlite3/sqlite3.h
       DESTINATION ${_sqlite_dir}/src)
  _ferry_sqlite_verified(_sqlite_ok)
  if(NOT _sqlite_ok)
    message(FATAL_ERROR "the SQLite amalgamation does not match its recorded checksums")
  endif()
endif()

add_library(sqlite3 STATIC ${_sqlite_c})
target_include_directories(sqlite3 SYSTEM PUBLIC ${_sqlite_dir}/src)
target_compile_definitions(sqlite3 PUBLIC
  SQLITE_THREADSAFE=1
  SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_DEFAULT_FOREIGN_KEYS=1
  SQLITE_DQS=0)
# Third-party code: built with its own defaults, not our warning set.
target_compile_options(sqlite3 PRIVATE -w -O2)
