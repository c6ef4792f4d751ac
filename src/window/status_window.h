// The status window shown while the program works, and the key that cuts the reading short.
#pragma once

// Opens the black status window, serviced on a thread of its own. Returns false when no window
// could be opened; the program then runs without one.
bool openStatusWindow();

// True while the abort key (Escape) is held down in the active status window. Never waits and
// takes nothing from any input queue; always false without a window.
bool isAbortKeyDown();

// Closes the status window, if one is open.
void closeStatusWindow();
