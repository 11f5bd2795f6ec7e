#include "screenshot/screenshot_commands.h"

void takeRegionScreenshot() {}
void takeFullScreenshot() {}
void takeWindowScreenshot() {}
