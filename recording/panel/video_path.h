#pragma once
#include <string>

// A new time-stamped MP4 path in Videos\Kestrova, creating that subfolder when missing; empty
// when the Videos folder or the subfolder cannot be had. The file itself is not created.
std::wstring makeVideoPath();
