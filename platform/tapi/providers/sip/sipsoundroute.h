#pragma once
// Where a SIP line's sound goes on the sound server. The agent plays the far end into a
// combined sink that feeds both the user's speaker and a private mixing sink; a loopback
// copies the microphone into the same mixing sink. The mixing sink's monitor then carries
// the whole conversation, and our recorder takes it like any other capture device while
// the user hears and speaks as before. Nothing else on the sound server is touched.
#include <QList>
#include <QString>

class SipSoundRoute {
public:
    SipSoundRoute() = default;
    ~SipSoundRoute() { tearDown(); }
    SipSoundRoute(const SipSoundRoute &) = delete;
    SipSoundRoute &operator=(const SipSoundRoute &) = delete;

    // playback/microphone: the server's sink and source names, empty for its defaults.
    // False with the reason when there is no sound server to route through.
    bool setUp(int line, const QString &playback, const QString &microphone, QString *error = nullptr);
    void tearDown();
    bool active() const { return !m_modules.isEmpty(); }

    // The agent's device specifications.
    QString agentPlayer() const;
    QString agentSource() const;
    // The ALSA name of the conversation's capture (the mixing sink's monitor).
    QString captureAddress() const;

    // Unloads what an earlier run of ours left behind when it died.
    static void RemoveStale();

private:
    QList<int> m_modules;
    QString m_mixSink;
    QString m_outSink;
    QString m_microphone;
};
