#pragma once
// Reads what a modem sends: result codes, caller-ID blocks (formatted fields or the raw
// message in hex), shielded voice events, and whatever else arrives, line by line.
#include <QByteArray>
#include <QList>
#include <QString>

struct ModemEvent {
    enum class Kind {
        Ok,
        Error,
        Ring,
        NoCarrier,
        Busy,
        NoDialtone,
        NoAnswer,
        Connect,     // CONNECT ... or VCON: the line is through
        CallerId,    // field: DATE, TIME, NMBR, NAME; value as the modem gave it
        VoiceEvent,  // a <DLE>-shielded event; code is its letter
        Echo,        // the command just sent, echoed back
        Info,        // any other text line (identification, answers to queries)
        Noise,       // bytes that form no text
        Overlong,    // a line longer than the limit; text holds its beginning
        BadCallerId, // a raw caller-ID message that does not decode
    };
    Kind kind = Kind::Info;
    QString field;
    QString text;
    char code = 0;
};

class ModemResponseParser {
public:
    // A line is cut off (and reported once) beyond this many bytes.
    static constexpr int kMaxLine = 4096;

    // The command line just sent, so that its echo is recognised.
    void setLastCommand(const QByteArray &command) { m_lastCommand = command.trimmed().toUpper(); }
    // Takes bytes as they arrive; a line cut in two waits for its rest.
    QList<ModemEvent> feed(const QByteArray &bytes);
    // Forgets a half-received line (after the port was reopened).
    void reset();

    // Decodes a raw caller-ID message (single or multiple data message format) given as
    // hex digits into DATE, TIME, NMBR and NAME fields; false when it is no such message.
    static bool DecodeMessage(const QByteArray &hex, QList<ModemEvent> &fields);

private:
    void endLine(QList<ModemEvent> &events);
    void classify(const QByteArray &line, bool hadNoise, QList<ModemEvent> &events);

    QByteArray m_line;
    bool m_lineNoise = false;
    bool m_overlong = false;
    bool m_dle = false;
    QByteArray m_lastCommand;
};
