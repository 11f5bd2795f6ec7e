#pragma once
// The body of the worker thread of one recording, written against the platform ports so that it
// runs on fakes and a virtual clock as well as on GDI, Media Foundation and Core Audio.
#include "common/pixel_rect.h"
#include "recording/core/recording_ports.h"
#include "recording/engine/recording_session.h"

#include <string>

// Sets up, records until a stop is requested, finalizes the file and reports Saved, or reports
// Failed with its text. Lets no exception escape.
void runRecordingWorkerWith(RecordingSession& session, PixelRect region,
                            const std::wstring& outputPath, RecordingPlatform& platform) noexcept;

// The real entry, with the Windows platform (defined with the Windows bindings).
void runRecordingWorker(RecordingSession& session, PixelRect region, std::wstring outputPath);
