#pragma once

// Resource numbers shared by quorlin.rc and the program.
#define kIconResource 1
