# Shared compile settings and the helpers that declare libraries and tests for each build.

set(TVSP_WARNINGS -Wall -Wextra -Wshadow -Wno-missing-field-initializers -Werror)

if(WIN32)
  # XP is the oldest supported system: newer APIs must be resolved at run time.
  set(TVSP_WIN_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
  add_link_options(-static -static-libgcc -static-libstdc++)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Exported stdcall names without decoration, as .def files give them.
    add_link_options(-Wl,--enable-stdcall-fixup)
  endif()
elseif(TVSP_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(TVSP_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (cmake --preset fuzz)")
  endif()
  # The libraries the fuzz targets link carry libFuzzer's coverage instrumentation but not its main.
  set(TVSP_FUZZ_INSTRUMENTATION
      -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
endif()

# tvsp_library(NAME [PORTABLE] SOURCES ... LIBS ...)
# PORTABLE libraries hold pure logic and build in every preset (in the fuzz build, instrumented).
function(tvsp_library name)
  cmake_parse_arguments(A "PORTABLE" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${TVSP_WARNINGS} ${TVSP_FUZZ_INSTRUMENTATION})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(WIN32)
    target_compile_definitions(${name} PUBLIC ${TVSP_WIN_DEFINES})
  endif()
  if(A_LIBS)
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  endif()
endfunction()

# GoogleTest: the system's prebuilt copy natively, built from source for MinGW.
if(TVSP_BUILD_TESTS AND NOT TVSP_FUZZ)
  if(WIN32)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    set(TVSP_GTEST_LIBS gtest)
  else()
    find_package(GTest REQUIRED)
    include(GoogleTest)
    set(TVSP_GTEST_LIBS GTest::gtest GTest::gtest_main)
  endif()
endif()

# Native unit tests: one program per area, each case a CTest test. The fuzz build has none.
function(tvsp_native_test name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(WIN32 OR NOT TVSP_BUILD_TESTS OR TVSP_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${TVSP_WARNINGS})
  target_link_libraries(${name} PRIVATE ${A_LIBS} ${TVSP_GTEST_LIBS})
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60)
endfunction()

# Where the native build keeps the Linux-side fixtures (virtual watch) that Windows tests drive.
set(TVSP_NATIVE_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/native" CACHE PATH "Native build folder holding the fixtures")
set(TVSP_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Private Wine prefix of this build folder")

# Windows test programs: one per area, each one CTest test run under wine64 by the rig's launcher.
# tvsp_windows_test(NAME SOURCES ... LIBS ... [GUI] [VWATCH] [UPDATE_SERVER] [OWN_PREFIX] [BENCH]
#                   [WINDOWS_VERSIONS v ...] [TIMEOUT s] [HANG s])
# UPDATE_SERVER: the test update server runs beside the program (TVSP_UPDATE_* in its environment)
# and the prefix trusts its test CA. OWN_PREFIX: the program runs in a Wine prefix of its own,
# beside the others (the test command runs two Windows tests at a time). WINDOWS_VERSIONS (win7,
# win8, win81, win10, winxp64): the program is registered once per version as NAME_<version>, each
# in a prefix of its own set to that version (wineprefix-NAME-<version>), which the program reads
# from TVSP_WINDOWS_VERSION. BENCH: a benchmark built the same way but never registered as a test.
# HANG: seconds one test may run before the program's watchdog reports and ends it (half of
# TIMEOUT unless given; testing/wine/test_watchdog.h).
function(tvsp_windows_test name)
  cmake_parse_arguments(A "GUI;VWATCH;UPDATE_SERVER;OWN_PREFIX;BENCH" "TIMEOUT;HANG" "SOURCES;LIBS;WINDOWS_VERSIONS" ${ARGN})
  if(NOT WIN32 OR NOT TVSP_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${A_SOURCES} ${CMAKE_SOURCE_DIR}/testing/wine/gtest_wmain.cpp
                 ${CMAKE_SOURCE_DIR}/testing/wine/test_watchdog.cpp)
  target_compile_options(${name} PRIVATE ${TVSP_WARNINGS})
  target_compile_definitions(${name} PRIVATE ${TVSP_WIN_DEFINES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_options(${name} PRIVATE -municode)
  target_link_libraries(${name} PRIVATE ${A_LIBS} ${TVSP_GTEST_LIBS})
  if(A_BENCH)
    return()  # a benchmark: built like a test program, run by hand, never by CTest
  endif()
  set(launcher_args)
  if(A_GUI)
    list(APPEND launcher_args --xvfb)
  endif()
  if(A_VWATCH)
    list(APPEND launcher_args --vwatch ${TVSP_NATIVE_BUILD_DIR}/testing/vwatch/vwatch)
  endif()
  if(A_UPDATE_SERVER)
    list(APPEND launcher_args
         --update-server ${TVSP_NATIVE_BUILD_DIR}/testing/update-server/tvsp-update-server
         --update-certs ${TVSP_NATIVE_BUILD_DIR}/testing/update-server/certs)
  endif()
  if(A_VWATCH OR A_UPDATE_SERVER)
    list(APPEND launcher_args --rig $<TARGET_FILE:tvsp-rig>)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 600)
  endif()
  if(NOT A_HANG)
    math(EXPR A_HANG "${A_TIMEOUT} / 2")
  endif()
  set(hang_env TVSP_TEST_HANG_S=${A_HANG})
  set(run_test ${CMAKE_SOURCE_DIR}/testing/wine/run-test)
  if(A_WINDOWS_VERSIONS)
    # One prefix per version: a prefix has one Windows version, set when it is made.
    foreach(version IN LISTS A_WINDOWS_VERSIONS)
      add_test(NAME ${name}_${version}
               COMMAND ${run_test} --prefix ${CMAKE_BINARY_DIR}/wineprefix-${name}-${version}
                       --windows-version ${version} ${launcher_args} -- $<TARGET_FILE:${name}>)
      set_tests_properties(${name}_${version} PROPERTIES TIMEOUT ${A_TIMEOUT}
                           RESOURCE_LOCK wine_prefix_${name}_${version} LABELS wine ENVIRONMENT ${hang_env})
    endforeach()
    return()
  endif()
  if(A_OWN_PREFIX)
    set(prefix ${CMAKE_BINARY_DIR}/wineprefix-${name})
  else()
    set(prefix ${TVSP_WINE_PREFIX})
  endif()
  add_test(NAME ${name} COMMAND ${run_test} --prefix ${prefix} ${launcher_args} -- $<TARGET_FILE:${name}>)
  if(A_OWN_PREFIX)
    # A prefix of its own (devices, drives, wineserver): it runs beside the shared prefix's tests.
    # Meant for programs that mostly wait out real time-outs.
    set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT} RESOURCE_LOCK wine_prefix_${name} LABELS wine
                         ENVIRONMENT ${hang_env})
    return()
  endif()
  # The tests of the shared prefix run one at a time: they share its device registry and drives.
  set(locks wine_shared_prefix)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT} FIXTURES_REQUIRED wine_prefix
                       RESOURCE_LOCK "${locks}" LABELS wine ENVIRONMENT ${hang_env})
endfunction()

# nlohmann-json (header-only, Debian's copy). Cross builds cannot search /usr/include, so the
# headers are reached through a link in the build folder.
if(NOT TARGET tvsp_json)
  set(json_dir ${CMAKE_BINARY_DIR}/thirdparty/include)
  file(MAKE_DIRECTORY ${json_dir})
  if(NOT EXISTS ${json_dir}/nlohmann)
    file(CREATE_LINK /usr/include/nlohmann ${json_dir}/nlohmann SYMBOLIC)
  endif()
  add_library(tvsp_json INTERFACE)
  target_include_directories(tvsp_json SYSTEM INTERFACE ${json_dir})
endif()

# tvsp_program_files(VAR): the file names of the program folder, in order, as base/program_files.h
# lists them between its "program-folder-files" markers. The tool, the build's program/ layout
# and the installer's payload all read that one list. A file in a sub-folder comes back with "/"
# ("driver/InstallDriver.exe" for the literal L"driver\\InstallDriver.exe").
function(tvsp_program_files var)
  set(header ${CMAKE_SOURCE_DIR}/base/program_files.h)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
  file(STRINGS ${header} lines)
  set(inside FALSE)
  set(names)
  foreach(line IN LISTS lines)
    if(line MATCHES "program-folder-files begin")
      set(inside TRUE)
    elseif(line MATCHES "program-folder-files end")
      set(inside FALSE)
    elseif(inside AND line MATCHES "^inline constexpr wchar_t k[A-Za-z0-9]+\\[\\] = L\"([^\"]+)\";$")
      # Only plain names, joined by the literal's escaped backslash: nothing may climb out of
      # the folder or carry another escape.
      set(name ${CMAKE_MATCH_1})
      if(NOT name MATCHES "^[A-Za-z0-9_.-]+(\\\\\\\\[A-Za-z0-9_.-]+)*$" OR name MATCHES "(^|\\\\)\\.\\.?(\\\\|$)")
        message(FATAL_ERROR "base/program_files.h: not a plain relative file name: ${name}")
      endif()
      string(REPLACE "\\\\" "/" name "${name}")
      list(APPEND names ${name})
    elseif(inside AND NOT line MATCHES "^ *(//.*)?$")
      message(FATAL_ERROR "base/program_files.h: a line of the program folder's list is not in the form the build reads: ${line}")
    endif()
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "base/program_files.h: no program folder files found")
  endif()
  set(${var} ${names} PARENT_SCOPE)
endfunction()
