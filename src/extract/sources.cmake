list(APPEND FYREL_WIN32_SOURCES extract/cab_extractor.cpp)
