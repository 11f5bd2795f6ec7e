#pragma once
// Prepares ScreenshotFolderPath at start-up: the Pictures folder (made when missing) with its
// Screenshots folder. True when the path is set; false, with the path empty, otherwise.
bool prepareScreenshotFolder();
