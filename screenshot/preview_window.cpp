#include "screenshot/preview_window.h"

void PreviewWindow::close() {}
