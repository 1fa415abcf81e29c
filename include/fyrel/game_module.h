// The interface every game module (one DLL per game, named after the
// "gamename" parameter) exports to FyrelExtension. Build the game with the
// same toolchain as the extension (see extension_api.h).
//
// The extension binds the five entry points by these exact names, calls them
// on the host's window thread, and hands the game its own GenericExtension,
// through which the game may call NotifyHost (from any thread) and
// GetHostValue.
//
// The entry points take no instance argument, so one loaded DLL runs one
// game at a time: when two extensions in one process start the same game,
// the second waits on its loading screen until the first has released the
// game (at most 10 minutes), then creates its own.
//
// The entry points must not let an exception out (see "Exceptions" in
// extension_api.h): one that does ends the host's process through
// std::terminate, on i686 and x86_64 alike.
#pragma once

#include <fyrel/extension_api.h>

extern "C" {
// Creates the game in the host window. folder is the game folder (the
// process's current folder during the call). Returns the game's opaque
// instance, or null on failure.
using CreateFyrelGameFn = void*(__cdecl*)(Generic::GenericExtension* extension, HWND window, const std::string* folder,
                                          int width, int height);
// Starts the game once the loading screen has finished. Returns true when it runs.
using StartFyrelGameFn = bool(__cdecl*)();
// Every window message once the game runs. Return false when the game
// handled the message (the extension then reports it as handled to the host).
using ProcessFyrelMsgFn = bool(__cdecl*)(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
// A notification the host sent down through EXT_SendUp.
using ReceiveFyrelNotificationFn = void(__cdecl*)(const std::string& name, const std::string& value);
// Releases the instance CreateFyrelGame returned; the DLL is unloaded after.
// A pair the game sends with NotifyHost from inside it (a final score, say)
// reaches the host before the extension's closing report. Every thread the
// game started must have ended when it returns: while a thread that started
// in the game's DLL (CreateThread with a routine of the DLL) still runs,
// the extension leaves the DLL loaded for the life of the process rather
// than unload code under it. Threads started through the C runtime
// (std::thread, _beginthreadex) start in the runtime's DLL and are not seen
// that way: they must be ended.
using ReleaseFyrelGameFn = void(__cdecl*)();
}

// Put this before each of the five functions a game defines.
#define FYREL_GAME_EXPORT extern "C" __declspec(dllexport)
