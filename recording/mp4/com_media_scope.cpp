#include "recording/mp4/com_media_scope.h"
#include "recording/mp4/mp4_sink_writer.h"

#include "recording/core/recording_stage.h"

ComMediaScope::~ComMediaScope()
{
    if (mediaFoundationStarted) {
        library.functions().shutdown();
    }
    library.unload();
}

void ComMediaScope::startCom()
{
    throwIfFailed(com.emplace().result(), RecordingStage::Com);
}

void ComMediaScope::startMediaFoundation()
{
    library.load();
    throwIfFailed(library.functions().startup(MF_VERSION, MFSTARTUP_FULL),
                  RecordingStage::MediaFoundation);
    mediaFoundationStarted = true;
}

std::unique_ptr<MediaFileWriter> ComMediaScope::makeFileWriter()
{
    return std::make_unique<Mp4SinkWriter>(library.functions());
}
