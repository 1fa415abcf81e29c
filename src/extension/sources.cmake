list(APPEND FYREL_PURE_SOURCES extension/loader_state.cpp)
list(APPEND FYREL_WIN32_SOURCES
  extension/generic_extension.cpp
  extension/game_loader_extension.cpp)
