#pragma once
#include <QFont>

// The font of the program's windows: Tahoma 8 points, or where Tahoma is missing a
// face of similar width, so that every list and dialog measures alike.
QFont WindowFont();
