#include "render/Screen.h"

// Filled before the program's first statement: constant initialisation only.
constinit ScreenState screen;
