#include "math/Matrix4.h"
