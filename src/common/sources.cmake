list(APPEND FYREL_PURE_SOURCES common/diagnostic_text.cpp)
list(APPEND FYREL_PURE_SOURCES common/sha256_extensions.cpp)
list(APPEND FYREL_WIN32_SOURCES common/background_step.cpp)
