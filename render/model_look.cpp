// The look and the materials' clock, kept in one place for the keys, the
// renderer and the information panel.
#include "render/model_look.h"

#include <GL/glut.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

bool model_game_look = true;
std::string model_rules_line;
std::vector<std::string> model_stage_lines;

// The clock reads `base` while paused, else base plus the real time since
// `resumed_at`; it starts at its first reading.
static bool clock_started = false;
static bool clock_paused = false;
static double clock_base = 0.0;
static double resumed_at = 0.0;

static double monotonic_seconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

bool model_look_requested(const char* value)
{
    if (value == nullptr || value[0] == '\0' || strcmp(value, "game") == 0)
        return true;
    if (strcmp(value, "editor") == 0)
        return false;
    printf("ASEVIEW_LOOK: unknown look \"%s\" (game or editor)\n", value);
    exit(1);
}

double model_time_requested(const char* value)
{
    if (value == nullptr || value[0] == '\0')
        return -1.0;
    char* end = nullptr;
    double seconds = strtod(value, &end);
    // strtod takes "inf" and "nan" too: only a finite time gives a picture
    // that can be made again.
    if (*end != '\0' || !std::isfinite(seconds) || seconds < 0) {
        printf("ASEVIEW_TIME: not a time in seconds \"%s\" (a number, 0 or more)\n", value);
        exit(1);
    }
    return seconds;
}

void model_look_init()
{
    model_game_look = model_look_requested(getenv("ASEVIEW_LOOK"));
    double start = model_time_requested(getenv("ASEVIEW_TIME"));
    clock_started = false;
    clock_paused = start >= 0;
    clock_base = clock_paused ? start : 0.0;
}

double model_clock_seconds()
{
    double now = monotonic_seconds();
    if (!clock_started) {
        clock_started = true;
        resumed_at = now;
    }
    return clock_paused ? clock_base : clock_base + (now - resumed_at);
}

bool model_clock_paused()
{
    return clock_paused;
}

void model_clock_toggle()
{
    clock_base = model_clock_seconds();
    resumed_at = monotonic_seconds();
    clock_paused = !clock_paused;
    glutPostRedisplay();
}

void model_look_toggle()
{
    model_game_look = !model_game_look;
    glutPostRedisplay();
}
