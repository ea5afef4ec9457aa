// The X server that the driven programs show their windows on.
#pragma once

// Starts Xvfb on a free display number of its own choosing and points
// DISPLAY at it: an X server for one process and its children alone, so that
// no other program's window covers its windows (GLUT draws only visible
// windows) and no other program's input reaches them. One connection stays
// open for the rest of the process's life: the server never resets while
// clients come and go (a reset refuses the clients connecting at that
// moment), and it ends by itself when that last connection closes, at exit or
// on a crash. A child that inherited the server (a death test's) keeps it.
// False when no server could be started.
bool use_private_display();

// Starts a private Xvfb as above, whatever DISPLAY or an inherited server
// says: for programs that must never show a window on the user's display.
bool use_own_display();

// Keeps to DISPLAY when a connection to it opens; otherwise starts a private
// Xvfb as above, whatever the environment says about an inherited one. One
// connection stays open for the process's life either way. False when
// neither works.
bool use_display();

// Calls `lost` when a connection to the X server breaks (the server ended),
// where the process would otherwise end at once, so that it can clean up
// first; `lost` must not return.
void on_lost_display(void (*lost)());
