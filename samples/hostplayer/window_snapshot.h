// Saves what the window's client area shows as a PNG file.
#pragma once

#include <windows.h>

#include <string>

namespace fyrel::hostplayer {

// Creates the folder and any missing parents. False when it cannot.
bool makeFolders(const std::string& folder);

// False when the client area cannot be read or the file not written.
bool saveClientArea(HWND window, const std::string& pngPath);

}  // namespace fyrel::hostplayer
