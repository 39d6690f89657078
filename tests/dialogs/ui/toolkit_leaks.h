#pragma once
// The font configuration library (and, under a real display, the desktop bus
// library) keeps a cache for the life of the process
// that the leak checker reports at exit; it is not ours to free. Include once
// per window test executable.

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }
