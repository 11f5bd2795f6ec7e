#pragma once
// Redirects one of this executable's imports to a stand-in for as long as the patch lives, so a
// test can observe or replace a platform call that the code under test makes. The destructor
// puts back what the slot held before, so patches of the same import nest when they end in the
// reverse order of their start, as scoped objects do.
#include <windows.h>

#include <cstring>

namespace test_support {

// The slot of this executable's import address table that holds `name` from `dll`, or null.
inline ULONG_PTR* importSlot(const char* dll, const char* name)
{
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) {
            continue;
        }
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0) {
                return &slots->u1.Function;
            }
        }
    }
    return nullptr;
}

// Writes `value` into an import slot, which the loader leaves read-only.
inline void writeImportSlot(ULONG_PTR* slot, ULONG_PTR value)
{
    DWORD previous = 0;
    ::VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &previous);
    *slot = value;
    ::VirtualProtect(slot, sizeof(*slot), previous, &previous);
}

template <typename Fn>
class ImportPatch {
public:
    // `original`, when given, receives the function the slot held before the stand-in is put in,
    // so a stand-in that passes calls on can reach it from its first call.
    ImportPatch(const char* dll, const char* name, Fn replacement, Fn* original = nullptr)
        : slot_(importSlot(dll, name))
    {
        if (slot_ == nullptr) {
            return;
        }
        original_ = reinterpret_cast<Fn>(*slot_);
        if (original != nullptr) {
            *original = original_;
        }
        writeImportSlot(slot_, reinterpret_cast<ULONG_PTR>(replacement));
    }
    ~ImportPatch()
    {
        if (slot_ != nullptr) {
            writeImportSlot(slot_, reinterpret_cast<ULONG_PTR>(original_));
        }
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool installed() const noexcept { return slot_ != nullptr; }
    Fn original() const noexcept { return original_; }

private:
    ULONG_PTR* slot_ = nullptr;
    Fn original_ = nullptr;
};

} // namespace test_support
