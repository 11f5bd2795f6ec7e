#include "recording/core/failure_text.h"

#include <cwchar>

std::wstring failureText(const Failure& failure)
{
    wchar_t code[32] = {};
    std::swprintf(code, 32, L" (0x%08X)", static_cast<unsigned int>(failure.hr));
    std::wstring text = failure.stage != nullptr ? failure.stage : L"";
    text += code;
    return text;
}
