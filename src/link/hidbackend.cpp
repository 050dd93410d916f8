#include "link/hidbackend.h"

// The backend interface carries a signal, so it needs a translation unit of its own.
