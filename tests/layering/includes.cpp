// Compiled with the include path of a lower folder's library: its own headers (and
// base's) are there, the higher folder's header named by FORBIDDEN must not be.
// clang-format off
#include "base/error.h"
#include FORBIDDEN
