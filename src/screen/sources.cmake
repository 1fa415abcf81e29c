list(APPEND FYREL_PURE_SOURCES screen/screen_phases.cpp screen/screen_layout.cpp screen/caption_table.cpp)
list(APPEND FYREL_WIN32_SOURCES screen/drawing_surface.cpp screen/progress_screen.cpp
     screen/screen_refresh_thread.cpp)
