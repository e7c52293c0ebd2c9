// The show's process entry: the executable is this file and the core library, which the
// tools, the tests and the benches link with a main() of their own; see app/Demo.h.
#include "app/Demo.h"

int main() { return runShow(); }
