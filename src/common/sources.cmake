list(APPEND FYREL_PURE_SOURCES common/diagnostic_text.cpp)
