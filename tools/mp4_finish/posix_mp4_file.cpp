#include "tools/mp4_finish/posix_mp4_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PosixMp4File::PosixMp4File(const std::string& path)
    : descriptor(::open(path.c_str(), O_RDWR | O_CLOEXEC))
{}

PosixMp4File::~PosixMp4File()
{
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

std::uint64_t PosixMp4File::size()
{
    struct stat status{};
    return ::fstat(descriptor, &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

bool PosixMp4File::read(std::uint64_t offset, std::span<std::uint8_t> into)
{
    std::size_t done = 0;
    while (done < into.size()) {
        const ssize_t got = ::pread(descriptor, into.data() + done, into.size() - done,
                                    static_cast<off_t>(offset + done));
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool PosixMp4File::write(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::pwrite(descriptor, bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(offset + done));
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool PosixMp4File::truncate(std::uint64_t size)
{
    return ::ftruncate(descriptor, static_cast<off_t>(size)) == 0;
}

bool PosixMp4File::flush()
{
    return ::fsync(descriptor) == 0;
}
