#pragma once
// The telephony declarations the program uses: constants, structures and functions of
// the line interface, version 2.x.
#include "lineapi.h"
