list(APPEND FYREL_WIN32_SOURCES storage/popup_allowance.cpp storage/stubs_pending.cpp)
