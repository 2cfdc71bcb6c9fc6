# Shared build settings and the one helper through which every test is added.

set(FERRY_WARNINGS -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wno-missing-field-initializers -Werror)

if(NOT FERRY_WINDOWS)
  # The native tree exists to run the platform-free core under the sanitizers.
  set(FERRY_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${FERRY_SANITIZERS})
  add_link_options(${FERRY_SANITIZERS})
endif()

# x64 has one calling convention and undecorated symbols: its link takes each .def file of the
# target as a copy without the argument bytes, so that an export is found also in a static
# library (the linker looks a decorated name up as it stands).
function(_ferry_undecorated_exports target)
  get_target_property(sources ${target} SOURCES)
  set(changed)
  foreach(source ${sources})
    if(source MATCHES "\\.def$")
      get_filename_component(path ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      get_filename_component(name ${source} NAME)
      set(copy ${CMAKE_CURRENT_BINARY_DIR}/undecorated/${target}/${name})
      file(READ ${path} text)
      string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*)@[0-9]+" "\\1" text "${text}")
      set(old "")
      if(EXISTS ${copy})
        file(READ ${copy} old)
      endif()
      if(NOT old STREQUAL text)
        file(WRITE ${copy} "${text}")
      endif()
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
      list(APPEND changed ${copy})
    else()
      list(APPEND changed ${source})
    endif()
  endforeach()
  set_property(TARGET ${target} PROPERTY SOURCES ${changed})
endfunction()

# Applies the project's warnings to one of our own targets.
function(ferry_defaults target)
  target_compile_options(${target} PRIVATE ${FERRY_WARNINGS})
  if(FERRY_WINDOWS)
    target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
      # The .def files name each __stdcall export with its argument bytes (Name@N): --kill-at
      # exports it as plain Name in both builds, and on x86 a name without its decoration is an
      # error instead of being bound to a look-alike symbol with a warning.
      target_link_options(${target} PRIVATE -Wl,--kill-at)
      if(FERRY_X86)
        target_link_options(${target} PRIVATE -Wl,--disable-stdcall-fixup)
      else()
        _ferry_undecorated_exports(${target})
      endif()
    endif()
  endif()
endfunction()

# GoogleTest from Debian's source package, built for whichever tree this is.
set(FERRY_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${FERRY_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# ferry_add_test(<name> SOURCES ... [LIBS ...] [RESOURCE_LOCK lock] [TIMEOUT s] [DEPENDS targets...]
#                [ENVIRONMENT VAR=value] [X86 [X86_FILTER gtest-filter]])
# One GoogleTest program; every test case becomes a CTest test named <Suite>.<Case>. Windows
# programs run under Wine (the build's emulator) and need the "wine" fixture; the test main
# understands "--child <role>" for tests that re-run the program as a second process.
# ENVIRONMENT is set for the program (Wine takes the ANSI code page from LC_ALL, for example).
# The x86 tree builds and registers only the programs marked X86 (their cases limited to
# X86_FILTER when given): they run 32-bit under WoW64, and the rest of the suite stays x64 only.
function(ferry_add_test name)
  cmake_parse_arguments(ARG "X86" "TIMEOUT;ENVIRONMENT;X86_FILTER" "SOURCES;LIBS;RESOURCE_LOCK;DEPENDS"
                        ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  ferry_defaults(${name})
  target_link_libraries(${name} PRIVATE ferry_test_main GTest::gtest ${ARG_LIBS})
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  if(FERRY_X86)
    # The program is still defined (its CMakeLists may go on to configure it), but only a marked
    # one is built and registered.
    if(NOT ARG_X86)
      return()
    endif()
    set_property(GLOBAL APPEND PROPERTY FERRY_X86_TEST_PROGRAMS ${name})
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(FERRY_WINDOWS)
    list(APPEND props FIXTURES_REQUIRED wine)
  endif()
  if(ARG_RESOURCE_LOCK)
    # The test properties pass through gtest_discover_tests as a flat list, which would split a
    # list of locks into a lock and stray property names: one lock per test program.
    list(LENGTH ARG_RESOURCE_LOCK lock_count)
    if(lock_count GREATER 1)
      message(FATAL_ERROR "${name}: one RESOURCE_LOCK per test program, not ${ARG_RESOURCE_LOCK}")
    endif()
    list(APPEND props RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  if(ARG_ENVIRONMENT)
    list(APPEND props ENVIRONMENT ${ARG_ENVIRONMENT})
  endif()
  set(filter)
  if(FERRY_X86 AND ARG_X86_FILTER)
    set(filter TEST_FILTER ${ARG_X86_FILTER})
  endif()
  gtest_discover_tests(${name}
    ${filter}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 300
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES ${props})
endfunction()

# ferry_add_fuzzer(<name> SOURCES ... [LIBS ...] [CORPUS dir])
# A libFuzzer target of the native tree (clang only). A short bounded run over the corpus is
# registered as a test so that the parsers are exercised on every "make test".
function(ferry_add_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(FERRY_WINDOWS OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  ferry_defaults(${name})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  # libFuzzer adds what it finds to the first corpus folder: keep that one in the build tree.
  set(work_corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  file(MAKE_DIRECTORY ${work_corpus})
  set(args -runs=20000 -max_len=4096 ${work_corpus})
  if(ARG_CORPUS)
    list(APPEND args ${ARG_CORPUS})
  endif()
  add_test(NAME fuzz.${name} COMMAND ${name} ${args})
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 300)
endfunction()
