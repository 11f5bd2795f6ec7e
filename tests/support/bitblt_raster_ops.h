#pragma once
// Records the raster operation of every BitBlt this executable's own code makes, by redirecting
// its import; the copy itself still happens.
#include <windows.h>

#include <mutex>
#include <vector>

#include "support/import_patch.h"

namespace test_support {

class BitBltRasterOps {
public:
    static BitBltRasterOps& instance()
    {
        static BitBltRasterOps ops;
        return ops;
    }

    bool installed() const noexcept { return patch_.installed(); }

    // The operations recorded since the previous call.
    std::vector<DWORD> take()
    {
        std::lock_guard lock(mutex_);
        std::vector<DWORD> taken;
        taken.swap(ops_);
        return taken;
    }

private:
    using BitBltFunction = decltype(&::BitBlt);

    BitBltRasterOps() = default;

    static BOOL WINAPI bitBlt(HDC target, int x, int y, int width, int height, HDC source,
                              int sourceX, int sourceY, DWORD rasterOp)
    {
        auto& self = instance();
        {
            std::lock_guard lock(self.mutex_);
            self.ops_.push_back(rasterOp);
        }
        return self.patch_.original()(target, x, y, width, height, source, sourceX, sourceY,
                                      rasterOp);
    }

    std::mutex mutex_;
    std::vector<DWORD> ops_;
    ImportPatch<BitBltFunction> patch_{"gdi32.dll", "BitBlt", &bitBlt};
};

} // namespace test_support
