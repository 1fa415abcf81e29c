# Native build of the byte-level logic (no Windows header), for unit tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, and for fuzzing.
option(FYREL_SANITIZE "Build with ASan and UBSan" ON)
option(FYREL_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(FYREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

add_library(fyrel_pure STATIC ${FYREL_PURE_SOURCES})
target_include_directories(fyrel_pure PUBLIC ${CMAKE_SOURCE_DIR}/src)
fyrel_warnings(fyrel_pure)

enable_testing()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

file(GLOB FYREL_PURE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*/*_pure_test.cpp)
if(FYREL_PURE_TESTS)
  add_executable(fyrel_pure_tests ${FYREL_PURE_TESTS})
  target_link_libraries(fyrel_pure_tests PRIVATE fyrel_pure GTest::gtest_main)
  target_include_directories(fyrel_pure_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(fyrel_pure_tests PRIVATE FYREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  fyrel_warnings(fyrel_pure_tests)
  gtest_discover_tests(fyrel_pure_tests TEST_PREFIX "native.")
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/fuzz/CMakeLists.txt)
  add_subdirectory(fuzz)
endif()

include(${CMAKE_SOURCE_DIR}/tools/native_tests.cmake OPTIONAL)
