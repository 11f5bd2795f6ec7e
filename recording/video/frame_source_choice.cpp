#include "recording/video/frame_source_choice.h"

namespace {

// The platform's codes, spelled out because this file stays free of platform headers; the
// Windows binding checks them against the SDK's names.
constexpr std::int32_t Ok = 0;
constexpr std::int32_t WaitTimeout = static_cast<std::int32_t>(0x887A0027u);
constexpr std::int32_t AccessLost = static_cast<std::int32_t>(0x887A0026u);
constexpr std::int32_t AccessDenied = static_cast<std::int32_t>(0x80070005u);

bool holds(const PixelRect& outer, const PixelRect& inner) noexcept
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

} // namespace

DuplicationAnswer classifyDuplicationResult(std::int32_t result) noexcept
{
    switch (result) {
    case Ok:
        return DuplicationAnswer::Done;
    case WaitTimeout:
        return DuplicationAnswer::NoNewImage;
    case AccessLost:
        return DuplicationAnswer::AccessLost;
    case AccessDenied:
        return DuplicationAnswer::AccessDenied;
    default:
        return DuplicationAnswer::Refused;
    }
}

std::optional<std::size_t> outputToDuplicate(const PixelRect& area,
                                             const std::vector<MonitorOutput>& outputs) noexcept
{
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (holds(outputs[i].desktop, area)) {
            // Outputs do not overlap, so no other one can hold the area.
            return outputs[i].rotated ? std::nullopt : std::optional<std::size_t>(i);
        }
    }
    return std::nullopt;
}

bool DuplicationPolicy::remakeDue(std::int64_t now) const noexcept
{
    return (state == State::Lost || state == State::Denied) && now >= nextRemake;
}

void DuplicationPolicy::remade(DuplicationAnswer made, std::int64_t now) noexcept
{
    nextRemake = now + DuplicationRetryInterval;
    switch (made) {
    case DuplicationAnswer::Done:
        state = State::Live;
        return;
    case DuplicationAnswer::AccessLost:
        state = State::Lost;
        return;
    case DuplicationAnswer::AccessDenied:
        state = State::Denied;
        return;
    case DuplicationAnswer::NoNewImage:
    case DuplicationAnswer::Refused:
        state = State::Gdi;
        return;
    }
}

FrameAction DuplicationPolicy::afterAcquire(DuplicationAnswer acquired, bool havePicture,
                                            std::int64_t now) noexcept
{
    switch (acquired) {
    case DuplicationAnswer::Done:
        return FrameAction::UseCopy;
    case DuplicationAnswer::NoNewImage:
        break;
    case DuplicationAnswer::AccessLost:
        // Made again at the next frame already; a mode change is usually over by then.
        state = State::Lost;
        nextRemake = now;
        break;
    case DuplicationAnswer::AccessDenied:
        state = State::Denied;
        nextRemake = now;
        break;
    case DuplicationAnswer::Refused:
        state = State::Gdi;
        break;
    }
    return withoutAcquire(havePicture);
}

FrameAction DuplicationPolicy::withoutAcquire(bool havePicture) const noexcept
{
    switch (state) {
    case State::Denied:
        return FrameAction::NoFrame;
    case State::Gdi:
        return FrameAction::CopyByGdi;
    case State::Live:
    case State::Lost:
        break;
    }
    return havePicture ? FrameAction::KeepLast : FrameAction::CopyByGdi;
}
