#pragma once
// What the panel shows for a failed recording.
#include "common/failure.h"

#include <string>

inline constexpr const wchar_t* UnexpectedFailureText =
    L"Nieoczekiwany blad nagrywania (np. brak pamieci).";

// The stage followed by " (0x%08X)" with the HRESULT as eight upper-case hexadecimal digits.
std::wstring failureText(const Failure& failure);
