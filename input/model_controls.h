// The model view's keys, mouse and menu: a turntable camera, preset views,
// overlays, files, screenshot and full screen. The default and fitted views
// keep their own handlers (input/input.h).
#pragma once
#include "render/model_overlay.h"

// Registers the mouse, motion, keyboard and special-key handlers, leaves
// the idle handler unset (a viewer at rest costs nothing) and attaches the
// menu of the model view's commands to the right button.
void register_model_controls();
// Does what the command's key does.
void run_model_command(model_command command);
