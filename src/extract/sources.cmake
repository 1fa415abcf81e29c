list(APPEND FYREL_PURE_SOURCES extract/member_name.cpp extract/extract_paths.cpp extract/cabinet_header.cpp
  extract/runnable_member.cpp)
list(APPEND FYREL_WIN32_SOURCES extract/cab_extractor.cpp extract/fdi_adapters.cpp extract/member_links.cpp
  extract/member_digests.cpp extract/installed_members.cpp)
