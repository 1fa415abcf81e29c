list(APPEND FYREL_WIN32_SOURCES screen/progress_screen.cpp)
