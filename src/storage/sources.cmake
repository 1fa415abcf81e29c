list(APPEND FYREL_PURE_SOURCES storage/folder_paths.cpp storage/version_marker_text.cpp
     storage/game_folder_lock_name.cpp storage/install_log_text.cpp storage/install_record_text.cpp)
list(APPEND FYREL_WIN32_SOURCES storage/popup_allowance.cpp storage/player_folder.cpp storage/version_marker.cpp
     storage/folder_access.cpp storage/game_folder_lock.cpp
     storage/folder_chain.cpp storage/install_log.cpp storage/checked_file.cpp storage/file_name_case.cpp
     storage/install_record.cpp)
