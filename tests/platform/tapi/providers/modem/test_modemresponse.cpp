// What the parser makes of a modem's output: results, caller-ID fields in both forms,
// shielded events, echo, and rubbish.
#include "modemresponse.h"

#include <gtest/gtest.h>

namespace {

using Kind = ModemEvent::Kind;

QString Fields(const QList<ModemEvent> &events)
{
    QStringList parts;
    for (const ModemEvent &e : events)
        parts.append(e.kind == Kind::CallerId ? e.field + QLatin1Char('=') + e.text : QString::number(int(e.kind)));
    return parts.join(QLatin1Char(' '));
}

// A caller-ID message with its checksum, in hex.
QByteArray Message(char type, const QByteArray &body)
{
    QByteArray message = QByteArray(1, type) + char(body.size()) + body;
    uint8_t sum = 0;
    for (const char c : message)
        sum = uint8_t(sum + uint8_t(c));
    return (message + char(uint8_t(-sum))).toHex().toUpper();
}

TEST(ModemResponse, ResultCodesAndLinesInPieces)
{
    ModemResponseParser parser;
    EXPECT_TRUE(parser.feed("\r\nO").isEmpty());
    auto events = parser.feed("K\r\n\r\nNO DIAL TONE\r\nCONNECT 9600\r\nVCON\r\nRINGING\r\n+CME ERROR: 3\r\n");
    ASSERT_EQ(events.size(), 6);
    EXPECT_EQ(events[0].kind, Kind::Ok);
    EXPECT_EQ(events[1].kind, Kind::NoDialtone);
    EXPECT_EQ(events[2].kind, Kind::Connect);
    EXPECT_EQ(events[3].kind, Kind::Connect);
    EXPECT_EQ(events[4].kind, Kind::Info); // the far end ringing is no RING of ours
    EXPECT_EQ(events[5].kind, Kind::Error);
}

TEST(ModemResponse, EchoIsRecognisedOnlyForTheLastCommand)
{
    ModemResponseParser parser;
    parser.setLastCommand("AT+VCID=1");
    auto events = parser.feed("at+vcid=1\r\r\nOK\r\nATI\r\n");
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[0].kind, Kind::Echo);
    EXPECT_EQ(events[1].kind, Kind::Ok);
    EXPECT_EQ(events[2].kind, Kind::Info);
}

TEST(ModemResponse, FormattedCallerIdFields)
{
    ModemResponseParser parser;
    const auto events = parser.feed("DATE = 0321\r\nTIME=1405\r\nNMBR = 603123456\r\nDDN_NMBR= 5551234\r\nNAME = P\r\n");
    EXPECT_EQ(Fields(events), QStringLiteral("DATE=0321 TIME=1405 NMBR=603123456 NMBR=5551234 NAME=P"));
}

TEST(ModemResponse, RawMessagesDecodeOnlyWhenTheyAddUp)
{
    // Multiple-message form: date, number, name; and the reason for no number.
    const QByteArray mdmf = Message('\x80', QByteArray("\x01\x08" "03211405", 10) + QByteArray("\x02\x03" "777", 5)
                                                + QByteArray("\x07\x04" "JANA", 6));
    ModemResponseParser parser;
    EXPECT_EQ(Fields(parser.feed("MESG = " + mdmf + "\r\n")),
              QStringLiteral("DATE=0321 TIME=1405 NMBR=777 NAME=JANA"));
    EXPECT_EQ(Fields(parser.feed(Message('\x80', QByteArray("\x04\x01P", 3)) + "\r\n")), QStringLiteral("NMBR=P"));
    // Single-message form, labelled or bare.
    EXPECT_EQ(Fields(parser.feed(Message('\x04', "03211405603123456") + "\r\n")),
              QStringLiteral("DATE=0321 TIME=1405 NMBR=603123456"));

    // A wrong checksum, a length beyond the data, or a hex answer that is no message.
    QByteArray broken = mdmf;
    broken[broken.size() - 1] = broken.endsWith('0') ? '1' : '0';
    auto events = parser.feed("MESG = " + broken + "\r\n");
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].kind, Kind::BadCallerId);
    EXPECT_EQ(parser.feed("MESG = 80FF0102\r\n").value(0).kind, Kind::BadCallerId);
    EXPECT_EQ(parser.feed("800000000000\r\n").value(0).kind, Kind::Info);
}

TEST(ModemResponse, ShieldedEventsNoiseAndOverlongLines)
{
    ModemResponseParser parser;
    const char bytes[] = "\x10R\x10h\xff\xfe\r\n\x01RING\r\n";
    auto events = parser.feed(QByteArray(bytes, sizeof bytes - 1));
    ASSERT_EQ(events.size(), 4);
    EXPECT_EQ(events[0].kind, Kind::VoiceEvent);
    EXPECT_EQ(events[0].code, 'R');
    EXPECT_EQ(events[1].code, 'h');
    EXPECT_EQ(events[2].kind, Kind::Noise);
    EXPECT_EQ(events[3].kind, Kind::Ring); // a stray byte glued to a result does not hide it

    events = parser.feed(QByteArray(ModemResponseParser::kMaxLine + 1, 'A'));
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].kind, Kind::Overlong);
    EXPECT_TRUE(parser.feed(QByteArray(100000, 'B')).isEmpty()); // the rest is dropped quietly
    events = parser.feed("NG\r\nOK\r\n");
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].kind, Kind::Ok);
}

} // namespace
