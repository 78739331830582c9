# reelcast_build_avx2_sources(OPTIONS sources...): the *_avx2.cpp among the
# sources are compiled with OPTIONS (the instruction sets they are written for).
function(reelcast_build_avx2_sources options)
  foreach(s ${ARGN})
    if(s MATCHES "_avx2\\.cpp$")
      set_source_files_properties(${s} PROPERTIES COMPILE_OPTIONS "${options}")
    endif()
  endforeach()
endfunction()

# reelcast_object_library(NAME [DIR dir] [DEPS targets...])
# One library per folder: every .cpp/.c in DIR (default: the current folder, not
# recursing) except *_test.cpp. Files named *_avx2.cpp are built with AVX2 enabled;
# *_sse2.cpp need nothing extra on x86-64. DEPS are linked PUBLIC.
function(reelcast_object_library name)
  cmake_parse_arguments(ARG "" "DIR" "DEPS" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.c)
  list(FILTER srcs EXCLUDE REGEX "_test\\.cpp$")
  if(NOT srcs)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    if(ARG_DEPS)
      target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    endif()
    return()
  endif()
  add_library(${name} OBJECT ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  reelcast_build_avx2_sources("-mavx2;-mfma" ${srcs})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# reelcast_platform_library(NAME [DEPS targets...]): a platform stand-in made of
# every .cpp in the current folder (reading and writing sides are separate
# files), over FFmpeg and threads; DEPS (other stand-ins) are linked PUBLIC.
# Files named *_avx2.cpp are built with AVX2 (without FMA, unlike the engine's).
# A folder without sources yet gives a header-only library.
function(reelcast_platform_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "_test\\.cpp$")
  if(srcs)
    add_library(${name} STATIC ${srcs})
    reelcast_build_avx2_sources("-mavx2" ${srcs})
    set(scope PUBLIC)
  else()
    add_library(${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(${name} ${scope} ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} ${scope} ${ARG_DEPS} PkgConfig::FFMPEG Threads::Threads)
endfunction()

# reelcast_add_test(NAME SOURCES... LIBS ...): a GoogleTest executable registered with ctest.
function(reelcast_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    REELCAST_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    REELCAST_BIN_DIR="${REELCAST_BIN_DIR}"
    REELCAST_MEDIA_DIR="${CMAKE_SOURCE_DIR}/../shared/media")
  set(env "")
  if(REELCAST_SANITIZE)
    # ASan's dlopen wrapper hides the caller's run path: libraries the engine
    # loads by name (libnlame.so) are then found only through the search path.
    set(env ENVIRONMENT "LD_LIBRARY_PATH=${REELCAST_BIN_DIR}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}" ${env})
endfunction()

# reelcast_add_cli_test(NAME SOURCES... [LABELS ...]): a GoogleTest program that
# drives whole conversions through reelcast-cli, built after it and the engine.
function(reelcast_add_cli_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LABELS" ${ARGN})
  reelcast_add_test(${name} SOURCES ${ARG_SOURCES} LIBS LABELS ${ARG_LABELS})
  foreach(dep reelcast-cli OmbrixDll nlame)
    if(TARGET ${dep})
      add_dependencies(${name} ${dep})
    endif()
  endforeach()
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
endfunction()
