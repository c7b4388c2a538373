#pragma once
#include <QByteArray>

// A WAVE file of 16-bit mono PCM at 8000 Hz holding this many frames of silence.
QByteArray SilentWave(int frames);
