#pragma once
#include "common/failure.h"

#include <windows.h>

// A recording stage's platform call: a failure code ends the stage with its text.
inline void throwIfFailed(HRESULT hr, const wchar_t* stage)
{
    if (FAILED(hr)) {
        throw Failure{hr, stage};
    }
}
