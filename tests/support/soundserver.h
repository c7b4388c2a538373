#pragma once
// A private sound server for tests with real user agents: "speaker" is its default sink
// (a null sink nobody hears), "mic" its default source, a 600 Hz tone standing for the
// user's voice. Starting it points this process and its children at it.
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class SoundServer {
public:
    SoundServer() = default;
    ~SoundServer();
    SoundServer(const SoundServer &) = delete;
    SoundServer &operator=(const SoundServer &) = delete;

    // False with the reason when there is no sound server to start or it does not answer.
    bool start(QString &why);

private:
    QTemporaryDir m_dir;
    QProcess m_server;
};
