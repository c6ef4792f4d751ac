// The whole run of the program.
#pragma once

// Converts Spieler.sql and Vereine.sql in the current directory into DWZ.liste there, showing
// the status window meanwhile. Returns the exit status: 0, or 1 after a failure has been
// reported on standard error, in which case any earlier DWZ.liste is left as it was.
int runConversion();
