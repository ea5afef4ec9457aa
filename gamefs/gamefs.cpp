#include "gamefs/gamefs.h"
