// An X server for one process and its children alone, so that no other
// program's window covers its windows (GLUT draws only visible windows) and
// no other program's input reaches them.
#pragma once

// Starts Xvfb on a free display number of its own choosing and points
// DISPLAY at it. One connection stays open for the rest of the process's
// life: the server never resets while clients come and go (a reset refuses
// the clients connecting at that moment), and it ends by itself when that
// last connection closes, at exit or on a crash. A child that inherited the
// server (a death test's) keeps it. False when no server could be started.
bool use_private_display();
