#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs a peer program to its end; exit code, or -1 when it could not start.
int RunPeer(const QString &program, const QStringList &args, QByteArray *out = nullptr, QByteArray *err = nullptr,
            int timeoutMs = 120000);
bool HavePeer(const QString &program);
