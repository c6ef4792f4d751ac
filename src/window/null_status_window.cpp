// The status window where the platform has none: it never opens and no key is ever down.
#include "window/status_window.h"

bool openStatusWindow() { return false; }

bool isAbortKeyDown() { return false; }

void closeStatusWindow() {}
