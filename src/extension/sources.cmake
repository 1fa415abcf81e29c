list(APPEND FYREL_PURE_SOURCES
  extension/loader_state.cpp
  extension/startup_parameters_logic.cpp)
list(APPEND FYREL_WIN32_SOURCES
  extension/generic_extension.cpp
  extension/game_loader_extension.cpp
  extension/state_reports.cpp
  extension/diagnostics.cpp
  extension/startup_parameters.cpp
  extension/controller.cpp
  extension/folder_steps.cpp
  extension/install_lock.cpp
  extension/package_resume.cpp
  extension/game_module.cpp
  extension/installed_game.cpp
  extension/message_routing.cpp
  extension/host_calls.cpp
  extension/live_game_modules.cpp
  extension/game_threads.cpp
  extension/system_code_page.cpp)
