// Compiled with the include path of a lower folder's library: its own headers are
// there, the app folder's must not be.
// clang-format off
#include "platform/error.h"
#include "app/commands.h"
