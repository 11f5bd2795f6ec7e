#pragma once
#include <cstdint>

// Thrown by value by a recording stage whose platform call failed; caught by const reference.
// `stage` is always a literal with static storage duration.
struct Failure {
    std::int32_t hr;
    const wchar_t* stage;
};
