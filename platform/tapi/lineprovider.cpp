#include "lineprovider.h"

LineProvider::~LineProvider() = default;

LONG LineProvider::screen(LineScreenStage, const char *, int) { return 0; }
