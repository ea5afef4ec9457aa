// How the model view looks and the clock its materials run on: the game's
// look (the materials' stages as the game draws them) or the editor's (each
// face with its texture or colour, lit from the eye).
#pragma once
#include <string>
#include <vector>

// True in the game's look, the default.
extern bool model_game_look;

// Reads ASEVIEW_LOOK ("game", "editor"; unset or empty: game) and
// ASEVIEW_TIME (seconds, a finite number 0 or more: the clock starts there,
// paused); a wrong value ends the process with status 1 and a line saying
// why. Once, before the window opens.
void model_look_init();
// The look that ASEVIEW_LOOK's value asks for: true for the game's.
bool model_look_requested(const char* value);
// The time that ASEVIEW_TIME's value asks for; negative when unset or empty.
double model_time_requested(const char* value);

// The materials' clock in seconds: 0 (or ASEVIEW_TIME) at the first call,
// then running in real time unless paused.
double model_clock_seconds();
bool model_clock_paused();
// Pauses or resumes the clock and asks for a frame.
void model_clock_toggle();
// Between the game's look and the editor's; asks for a frame.
void model_look_toggle();

// For the information panel, filled by the renderer: the rules the
// materials are read by, and a line per material on its stages.
extern std::string model_rules_line;
extern std::vector<std::string> model_stage_lines;
