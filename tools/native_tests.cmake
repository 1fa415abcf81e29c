# The key tool's tests need only Python, openssl, gcab and cabextract, so they
# run with the native build.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND)
  add_test(NAME tools.fyrel_sign COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/test_fyrel_sign.py)
else()
  add_test(NAME tools.fyrel_sign COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/test_fyrel_sign.py)
endif()
