#pragma once
#include <string>

// A new time-stamped MP4 path in Videos\Kestrova, creating that subfolder when missing; empty
// when the Videos folder or the subfolder cannot be had. The file itself is not created.
std::wstring makeVideoPath();

// Videos\Kestrova, where the recordings are, without creating anything; empty when the Videos
// folder cannot be had.
std::wstring videoFolderPath();
