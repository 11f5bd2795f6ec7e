#include "recording/recording_panel.h"

void openRecordingPanel() {}
void closeRecordingPanel() {}
