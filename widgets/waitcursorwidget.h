#pragma once
#include "myutils.h"

// The busy cursor as the application's override cursor: setting the hourglass
// pushes a wait cursor, setting back what was in force pops it again.
class TOverrideCursorHandler : public ICursorHandler {
public:
    WaitCursor current() override;
    void set(WaitCursor cursor) override;

private:
    bool m_pushed = false;
};
