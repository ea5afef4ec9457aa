// Test support: a real GLUT window (under Xvfb in CI) whose GL context is
// current for the whole test program.
#pragma once

// Creates the 640 x 480 double-buffered RGB window with a depth buffer,
// once per process; later calls do nothing.
void open_test_window();
// Runs the GLUT event loop until no event is pending, at most max_rounds times.
void pump_glut_events(int max_rounds = 20);
