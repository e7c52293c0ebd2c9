// Entry point: everything lives in the core library; see app/Demo.h.
#include "app/Demo.h"

int main() { return runShow(); }
