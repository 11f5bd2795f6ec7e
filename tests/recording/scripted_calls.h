#pragma once
// The call log of a fake COM object: records every call by name and fails the one it is told to,
// either every occurrence ("GetBuffer") or only the n-th ("GetNextPacketSize#2").
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

class ScriptedCalls {
public:
    std::vector<std::string> calls;
    std::string failingCall;
    HRESULT failure = E_FAIL;

    HRESULT record(const std::string& call)
    {
        calls.push_back(call);
        const std::string numbered = call + "#" + std::to_string(countOf(call));
        return call == failingCall || numbered == failingCall ? failure : S_OK;
    }

    std::size_t countOf(const std::string& call) const
    {
        std::size_t n = 0;
        for (const std::string& made : calls) {
            n += made == call ? 1 : 0;
        }
        return n;
    }
};
