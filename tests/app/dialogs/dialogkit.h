#pragma once
// Helpers for driving the modal windows of the program in widget tests.
#include <QApplication>
#include <QByteArray>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

// Runs action once a modal window of type W is up (the exec() that shows it is
// called right after this). Nested modal windows are handled the same way.
template <class W>
void WhenModal(std::function<void(W *)> action, int attemptsLeft = 500)
{
    QTimer::singleShot(10, [action = std::move(action), attemptsLeft]() mutable {
        if (auto *w = dynamic_cast<W *>(QApplication::activeModalWidget()); w && w->isVisible()) {
            action(w);
            return;
        }
        if (attemptsLeft > 0)
            WhenModal<W>(std::move(action), attemptsLeft - 1);
        else
            ADD_FAILURE() << "no modal window appeared";
    });
}

// Points the desktop's configuration folder (the autostart entry) at a folder of the test.
class ConfigHomeScope {
public:
    explicit ConfigHomeScope(const QString &dir)
        : m_had(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")), m_saved(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", dir.toLocal8Bit());
    }
    ~ConfigHomeScope()
    {
        if (m_had)
            qputenv("XDG_CONFIG_HOME", m_saved);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

private:
    bool m_had;
    QByteArray m_saved;
};
