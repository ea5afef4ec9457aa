// Test support: a real GLUT window on the program's own X server, whose GL
// context is current for the whole test program.
#pragma once

// Creates the 640 x 480 double-buffered RGB window with a depth buffer,
// once per process; later calls do nothing.
void open_test_window();
// Runs the GLUT event loop until no event is pending, at most max_rounds times.
void pump_glut_events(int max_rounds = 20);

// Runs the leak check now, under the sanitizer: the GL libraries unload their
// driver at exit, and the driver's own leaks would then lose the module names
// that the suppressions match. Also runs by itself after the last test of
// every program that links this support.
void leak_check_while_loaded();
