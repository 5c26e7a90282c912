// The module instance handle.
#include "common/instance.h"

HINSTANCE moduleInstance;
