// Program entry: the whole job is the conversion run; command-line arguments are ignored.
#include "app/run_conversion.h"

int main() { return runConversion(); }
