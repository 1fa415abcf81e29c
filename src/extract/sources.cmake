list(APPEND FYREL_PURE_SOURCES extract/member_name.cpp extract/extract_paths.cpp)
list(APPEND FYREL_WIN32_SOURCES extract/cab_extractor.cpp extract/member_links.cpp)
