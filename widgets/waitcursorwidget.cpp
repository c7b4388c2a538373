#include "waitcursorwidget.h"

#include <QCursor>
#include <QGuiApplication>

WaitCursor TOverrideCursorHandler::current()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor ? WaitCursor::Hourglass : WaitCursor::Arrow;
}

void TOverrideCursorHandler::set(WaitCursor cursor)
{
    // Undo our own override first, so that an override someone else set shows through.
    if (m_pushed) {
        QGuiApplication::restoreOverrideCursor();
        m_pushed = false;
    }
    if (cursor != current()) {
        QGuiApplication::setOverrideCursor(cursor == WaitCursor::Hourglass ? Qt::WaitCursor : Qt::ArrowCursor);
        m_pushed = true;
    }
}
