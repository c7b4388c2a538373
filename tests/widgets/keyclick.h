#pragma once
#include <QCoreApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>

// Key presses delivered straight to the widget (these tests do not link QtTest).
inline void keyClick(QWidget *widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                     const QString &text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &release);
}
