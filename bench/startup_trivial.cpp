// The bench's baseline: a program that does nothing but report its own
// start-up sample (one line on standard output) and exit.
#include "bench/startup_sample.h"

int wmain() { return bench::WriteSample() ? 0 : 1; }
