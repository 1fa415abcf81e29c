# Cross build of the extension, its tests, tools and samples for Windows.
enable_language(RC)

option(FYREL_BUILD_TESTS "Build the test suite" ON)
option(FYREL_DEVELOPMENT_KEY
       "Development build: trust keys/dev_public.blob, whose private half is published" OFF)
set(FYREL_PUBLIC_KEY_BLOB "" CACHE FILEPATH
    "148-byte PUBLICKEYBLOB compiled into the extension: the release key")
option(FYREL_KEEP_DEBUG_INFO
       "Release build with debug information kept in the modules (./run dist splits it off)" OFF)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(FYREL_WINE_LOADER /usr/lib/wine/wine)
else()
  set(FYREL_WINE_LOADER /usr/lib/wine/wine64)
endif()
configure_file(${CMAKE_SOURCE_DIR}/scripts/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

# Everything we ship links the C++ runtime and winpthread statically, so
# the extension needs nothing but system DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)

# Two builds of one commit give the same bytes wherever the checkout and the
# build folder are and whenever they run, so anyone can rebuild a release and
# compare: no absolute path in objects or debug information (the build
# folder's mapping comes last, so it wins where the build folder lies inside
# the checkout), no link time in the PE headers, no dates or owners in
# static libraries.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
add_link_options(-Wl,--no-insert-timestamp)
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()
if(FYREL_KEEP_DEBUG_INFO)
  add_compile_options(-g)
endif()
include(${CMAKE_SOURCE_DIR}/cmake/version_resource.cmake)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# The built-in public key, turned into a C++ array at configure time. Anyone
# can sign with the development key, so a build trusts it only when told in
# so many words that it is a development build.
set(FYREL_DEV_KEY_BLOB ${CMAKE_SOURCE_DIR}/keys/dev_public.blob)
if(FYREL_PUBLIC_KEY_BLOB STREQUAL "")
  if(NOT FYREL_DEVELOPMENT_KEY)
    message(FATAL_ERROR
      "No public key for the signature check. A release build names its own key:\n"
      "  cmake -DFYREL_PUBLIC_KEY_BLOB=/path/release_public.blob ...\n"
      "(made once by: tools/fyrel-sign genkey PRIVATE.pem release_public.blob).\n"
      "A development build (tests, demo, benchmarks) that trusts the published "
      "development key says so:\n"
      "  cmake -DFYREL_DEVELOPMENT_KEY=ON ...")
  endif()
  set(FYREL_PUBLIC_KEY_BLOB ${FYREL_DEV_KEY_BLOB} CACHE FILEPATH
      "148-byte PUBLICKEYBLOB compiled into the extension: the release key" FORCE)
endif()
file(READ ${FYREL_DEV_KEY_BLOB} FYREL_DEV_KEY_HEX HEX)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${FYREL_PUBLIC_KEY_BLOB})
file(READ ${FYREL_PUBLIC_KEY_BLOB} FYREL_KEY_HEX HEX)
string(LENGTH "${FYREL_KEY_HEX}" FYREL_KEY_HEX_LEN)
if(NOT FYREL_KEY_HEX_LEN EQUAL 296)
  message(FATAL_ERROR "${FYREL_PUBLIC_KEY_BLOB}: a public key blob has 148 bytes")
endif()
if(FYREL_KEY_HEX STREQUAL FYREL_DEV_KEY_HEX AND NOT FYREL_DEVELOPMENT_KEY)
  message(FATAL_ERROR "${FYREL_PUBLIC_KEY_BLOB} is the published development key; "
                      "a release build names its own key (or pass -DFYREL_DEVELOPMENT_KEY=ON)")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," FYREL_KEY_BYTES "${FYREL_KEY_HEX}")
configure_file(${CMAKE_SOURCE_DIR}/src/verify/built_in_key.cpp.in
               ${CMAKE_BINARY_DIR}/generated/built_in_key.cpp @ONLY)

add_library(fyrel_core STATIC ${FYREL_PURE_SOURCES} ${FYREL_WIN32_SOURCES}
            ${CMAKE_BINARY_DIR}/generated/built_in_key.cpp)
target_include_directories(fyrel_core PUBLIC ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(fyrel_core PUBLIC winhttp wininet gdi32 user32 advapi32 kernel32)
fyrel_warnings(fyrel_core)
# Only a development build honours the host's "developdir" (an unsigned game
# module from any folder).
if(FYREL_DEVELOPMENT_KEY)
  target_compile_definitions(fyrel_core PRIVATE FYREL_DEVELOPMENT_BUILD=1)
endif()

add_library(FyrelExtension SHARED
  ${CMAKE_SOURCE_DIR}/src/extension/exports.cpp
  ${CMAKE_SOURCE_DIR}/src/extension/dll_main.cpp
  ${CMAKE_SOURCE_DIR}/resources/FyrelExtension.def
  ${CMAKE_SOURCE_DIR}/resources/fyrel.rc)
set_target_properties(FyrelExtension PROPERTIES PREFIX "" OUTPUT_NAME FyrelExtension)
target_link_libraries(FyrelExtension PRIVATE fyrel_core)
if(FYREL_KEY_HEX STREQUAL FYREL_DEV_KEY_HEX)
  fyrel_version_resource(FyrelExtension "Fyrel game loader extension"
    SPECIAL_BUILD "Development build: trusts the published development key")
else()
  fyrel_version_resource(FyrelExtension "Fyrel game loader extension")
endif()
set(FYREL_STRIP_RELEASE $<AND:$<CONFIG:Release>,$<NOT:$<BOOL:${FYREL_KEEP_DEBUG_INFO}>>>)
target_link_options(FyrelExtension PRIVATE -Wl,--dynamicbase -Wl,--nxcompat -Wl,--kill-at $<${FYREL_STRIP_RELEASE}:-s>)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  target_link_options(FyrelExtension PRIVATE -Wl,--high-entropy-va)
endif()
fyrel_warnings(FyrelExtension)

add_subdirectory(tools)
add_subdirectory(samples)
if(FYREL_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests)
  add_subdirectory(bench)
endif()
