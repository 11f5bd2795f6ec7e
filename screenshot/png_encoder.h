#pragma once
#include <windows.h>

#include <string>

// Writes the whole bitmap as a PNG through the imaging component, without its alpha byte,
// creating the file or replacing one of that name. Borrows the bitmap.
bool savePng(HBITMAP bitmap, const std::wstring& path);
