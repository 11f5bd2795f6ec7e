#pragma once
// Records the raster operation of every BitBlt this executable's own code makes, by redirecting
// its import; the copy itself still happens.
#include <windows.h>

#include <mutex>
#include <vector>

#include "import_patch.h"

namespace shot_test {

class BitBltRasterOps {
public:
    static BitBltRasterOps& instance()
    {
        static BitBltRasterOps ops;
        return ops;
    }

    bool installed() const noexcept { return installed_; }

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

    BitBltRasterOps() { installed_ = patchImport("gdi32.dll", "BitBlt", &bitBlt, real_); }

    static BOOL WINAPI bitBlt(HDC target, int x, int y, int width, int height, HDC source,
                              int sourceX, int sourceY, DWORD rasterOp)
    {
        {
            auto& self = instance();
            std::lock_guard lock(self.mutex_);
            self.ops_.push_back(rasterOp);
        }
        return real_(target, x, y, width, height, source, sourceX, sourceY, rasterOp);
    }

    static inline BitBltFunction real_ = nullptr;
    bool installed_ = false;
    std::mutex mutex_;
    std::vector<DWORD> ops_;
};

} // namespace shot_test
