#include "recording/mp4/mp4_finisher.h"

#include "recording/mp4/box_writer.h"
#include "recording/mp4/fragment_index.h"
#include "recording/mp4/initial_moov.h"
#include "recording/mp4/moov_writer.h"

#include <array>
#include <limits>
#include <optional>

namespace {

// A moov or moof larger than this is not one a recorder wrote; refusing it bounds what is read
// into memory at once.
constexpr std::uint64_t LargestIndexBox = std::uint64_t{64} << 20;

// Counts the bytes that pass, for the report.
class CountingFile {
public:
    explicit CountingFile(Mp4File& underlying) noexcept : file(underlying) {}

    bool read(std::uint64_t offset, std::span<std::uint8_t> into)
    {
        bytesRead += into.size();
        return file.read(offset, into);
    }
    bool write(std::uint64_t offset, std::span<const std::uint8_t> bytes)
    {
        bytesWritten += bytes.size();
        return file.write(offset, bytes);
    }
    bool truncate(std::uint64_t size) { return file.truncate(size); }
    bool flush() { return file.flush(); }

    std::uint64_t bytesRead = 0;
    std::uint64_t bytesWritten = 0;

private:
    Mp4File& file;
};

// The file's top-level boxes up to the first one that is not whole: a box cut off by the end of
// the file, or bytes that cannot start a box, begin the tail.
struct TopLevel {
    std::vector<BoxHeader> boxes;
    std::uint64_t wholeEnd = 0;
};

std::optional<TopLevel> scanTopLevel(CountingFile& file, std::uint64_t size)
{
    TopLevel top;
    std::uint64_t offset = 0;
    while (size - offset >= 8) {
        // The 64-bit size is read only when the box has one: the bytes after a short header
        // are sample data.
        std::array<std::uint8_t, 16> bytes{};
        if (!file.read(offset, std::span(bytes).first(8))) {
            return std::nullopt;
        }
        std::size_t length = 8;
        const bool wide = bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 1;
        if (wide && size - offset >= 16) {
            if (!file.read(offset + 8, std::span(bytes).subspan(8, 8))) {
                return std::nullopt;
            }
            length = 16;
        }
        auto header = parseBoxHeader(std::span(bytes).first(length), offset, size - offset);
        // A size of 0 ("to the end of the file") is taken only for an mdat: zeros there are more
        // likely a write the system never completed.
        const bool toEnd = bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0;
        if (!header || header->size > size - offset || (toEnd && header->type != fourCc("mdat"))) {
            break;
        }
        top.boxes.push_back(*header);
        offset += header->size;
    }
    top.wholeEnd = offset;
    return top;
}

FinishReport refuse(FinishResult result, std::string reason)
{
    FinishReport report;
    report.result = result;
    report.reason = std::move(reason);
    return report;
}

std::optional<std::vector<std::uint8_t>> readPayload(CountingFile& file, const BoxHeader& box)
{
    std::vector<std::uint8_t> payload(static_cast<std::size_t>(box.size - box.headerSize));
    if (!file.read(box.offset + box.headerSize, payload)) {
        return std::nullopt;
    }
    return payload;
}

bool namesFragments(std::span<const std::uint8_t> brand)
{
    const FourCc value = ByteReader(brand).u32();
    return value == fourCc("dash") || value == fourCc("iso6") || value == fourCc("msdh");
}

// The header of an mdat that starts at the first moov and ends at the complete one; 16 bytes
// long when its size passes 32 bits, which a moov (at least its mvhd) always has room for.
std::vector<std::uint8_t> spanningMdatHeader(std::uint64_t size)
{
    std::vector<std::uint8_t> header;
    BoxWriter out(header);
    if (size <= std::numeric_limits<std::uint32_t>::max()) {
        out.u32(static_cast<std::uint32_t>(size));
        out.u32(fourCc("mdat"));
    } else {
        out.u32(1);
        out.u32(fourCc("mdat"));
        out.u64(size);
    }
    return header;
}

class Finisher {
public:
    explicit Finisher(Mp4File& file) noexcept : io(file), fileSize(file.size()) {}

    FinishReport run()
    {
        FinishReport report = complete();
        report.bytesRead = io.bytesRead;
        report.bytesWritten = io.bytesWritten;
        return report;
    }

private:
    FinishReport complete();
    FinishReport writeOut(const MovieDescription& movie, const FragmentIndex& index,
                          const BoxHeader& ftyp, const BoxHeader& firstMoov,
                          std::optional<BoxHeader> appendedMoov, std::uint64_t fragmentsEnd);

    CountingFile io;
    std::uint64_t fileSize;
};

FinishReport Finisher::complete()
{
    const auto top = scanTopLevel(io, fileSize);
    if (!top) {
        return refuse(FinishResult::IoError, "the file could not be read");
    }
    const auto& boxes = top->boxes;
    if (boxes.empty() || boxes.front().type != fourCc("ftyp") || boxes.front().size < 16) {
        return refuse(FinishResult::NotMp4, "the file does not start with an ftyp box");
    }
    std::size_t moovIndex = 0;
    while (moovIndex < boxes.size() && boxes[moovIndex].type != fourCc("moov")) {
        if (boxes[moovIndex].type == fourCc("moof") || boxes[moovIndex].type == fourCc("mfra")) {
            return refuse(FinishResult::NotMp4, "fragment boxes come before the moov box");
        }
        ++moovIndex;
    }
    if (moovIndex == boxes.size()) {
        return refuse(FinishResult::NoWholeFragment, "the file has no whole moov box");
    }
    const BoxHeader& firstMoov = boxes[moovIndex];
    if (firstMoov.size > LargestIndexBox || firstMoov.size < 16) {
        return refuse(FinishResult::Unsupported, "the moov box is too large");
    }
    const auto moovPayload = readPayload(io, firstMoov);
    if (!moovPayload) {
        return refuse(FinishResult::IoError, "the moov box could not be read");
    }
    const auto reading = readInitialMoov(*moovPayload);
    if (!reading.movie) {
        return refuse(reading.fault == MoovFault::Unsupported ? FinishResult::Unsupported
                                                              : FinishResult::NotMp4,
                      reading.reason);
    }
    const MovieDescription& movie = *reading.movie;
    if (!movie.fragmented) {
        return refuse(FinishResult::AlreadyOrdinary, {});
    }

    // After the first moov: fragments, their data, and perhaps a moov appended by an earlier
    // run of this finisher that did not end.
    SampleDataRegion region;
    std::vector<const BoxHeader*> moofs;
    std::optional<BoxHeader> appendedMoov;
    for (std::size_t i = moovIndex + 1; i < boxes.size(); ++i) {
        const BoxHeader& box = boxes[i];
        if (box.type == fourCc("moov")) {
            appendedMoov = box;
            break;
        }
        if (box.type == fourCc("moof")) {
            moofs.push_back(&box);
        } else if (box.type == fourCc("mdat")) {
            region.mdatPayloads.push_back({box.offset + box.headerSize, box.offset + box.size});
        }
    }
    region.wholeEnd = appendedMoov ? appendedMoov->offset : top->wholeEnd;

    FragmentIndex index(movie, fileSize);
    std::uint64_t fragmentsEnd = region.wholeEnd;
    for (std::size_t i = 0; i < moofs.size(); ++i) {
        const BoxHeader& moof = *moofs[i];
        if (moof.size > LargestIndexBox) {
            return refuse(FinishResult::Unsupported, "a moof box is too large");
        }
        const auto payload = readPayload(io, moof);
        if (!payload) {
            return refuse(FinishResult::IoError, "a moof box could not be read");
        }
        const auto outcome = index.add(*payload, moof.offset, region);
        if (outcome == FragmentOutcome::DataPastEnd && i + 1 == moofs.size() && !appendedMoov) {
            fragmentsEnd = moof.offset; // the last fragment was cut off while being written
            break;
        }
        if (outcome == FragmentOutcome::UnknownTrack) {
            return refuse(FinishResult::Unsupported,
                          "a fragment names a track the moov does not have");
        }
        if (outcome != FragmentOutcome::Indexed) {
            return refuse(FinishResult::NotMp4, "a fragment is damaged");
        }
    }
    if (index.dataEnd() > fragmentsEnd) {
        return refuse(FinishResult::NotMp4, "a fragment's data lies after a fragment cut off");
    }
    if (index.sampleCount() == 0) {
        return refuse(FinishResult::NoWholeFragment, "the file holds no whole fragment");
    }
    return writeOut(movie, index, boxes.front(), firstMoov, appendedMoov, fragmentsEnd);
}

// The only part that changes the file, in an order that leaves it readable at every step: the
// complete moov after the fragments, everything flushed, then the brand and the mdat header.
FinishReport Finisher::writeOut(const MovieDescription& movie, const FragmentIndex& index,
                                const BoxHeader& ftyp, const BoxHeader& firstMoov,
                                std::optional<BoxHeader> appendedMoov, std::uint64_t fragmentsEnd)
{
    const auto moov = writeCompleteMoov(movie, index.tracks());
    bool appendedIsComplete = false;
    if (appendedMoov && appendedMoov->offset == fragmentsEnd && appendedMoov->size == moov.size()) {
        std::vector<std::uint8_t> written(moov.size());
        if (!io.read(appendedMoov->offset, written)) {
            return refuse(FinishResult::IoError, "the appended moov box could not be read");
        }
        appendedIsComplete = written == moov;
    }
    const std::uint64_t end = fragmentsEnd + moov.size();
    if (!appendedIsComplete && !io.write(fragmentsEnd, moov)) {
        return refuse(FinishResult::IoError, "the moov box could not be written");
    }
    if (fileSize != end && !io.truncate(end)) {
        return refuse(FinishResult::IoError, "the file could not be cut to its end");
    }
    if (!io.flush()) {
        return refuse(FinishResult::IoError, "the file could not be flushed");
    }

    std::array<std::uint8_t, 4> brand{};
    if (!io.read(ftyp.offset + ftyp.headerSize, brand)) {
        return refuse(FinishResult::IoError, "the file type could not be read");
    }
    if (namesFragments(brand)) {
        static constexpr std::array<std::uint8_t, 4> Ordinary{'i', 's', 'o', 'm'};
        if (!io.write(ftyp.offset + ftyp.headerSize, Ordinary)) {
            return refuse(FinishResult::IoError, "the file type could not be written");
        }
    }
    const auto header = spanningMdatHeader(fragmentsEnd - firstMoov.offset);
    if (!io.write(firstMoov.offset, header) || !io.flush()) {
        return refuse(FinishResult::IoError, "the mdat header could not be written");
    }

    FinishReport report;
    report.result = FinishResult::Completed;
    for (const auto& track : index.tracks()) {
        report.samplesPerTrack.push_back(track.samples.size());
    }
    return report;
}

} // namespace

FinishReport finishFragmentedMp4(Mp4File& file)
{
    return Finisher(file).run();
}
