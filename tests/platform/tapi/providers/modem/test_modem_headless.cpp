// The windowless program watching a modem on a pseudo-terminal: a call picked up on
// another phone and a withheld caller who gives up end as rows of data.xml.
#include "headlessprocess.h"

#include "datapacket.h"
#include "memtable.h"
#include "scriptedmodem.h"

#include <QCoreApplication>

namespace {

class ModemHeadless : public HeadlessProcess {
protected:
    // Reads the host's output through the event loop, so the modem keeps answering.
    bool Wait(const QString &text, int limitMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!output.contains(text)) {
            if (timer.elapsed() > limitMs || host.state() == QProcess::NotRunning)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
            output += QString::fromLocal8Bit(host.readAllStandardOutput());
        }
        return true;
    }

    // The modem has been set up once it was asked for caller ID and answered.
    bool PumpUntilReady()
    {
        QElapsedTimer timer;
        timer.start();
        while (!modem.commands.contains("AT+VCID=1")) {
            if (timer.elapsed() > 10000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
        }
        return Wait(QString()); // one more round for the answer to arrive
    }

    ScriptedModem modem;
};

TEST_F(ModemHeadless, CallsOnTheModemLineBecomeRows)
{
    ASSERT_TRUE(modem.valid());
    WriteSettings(QStringLiteral("TAPIDevice=Modem %1\r\nMissedCalls=1\r\nAutoStartWatch=1\r\n"
                                 "AudioInputDevice=Nepoužívat nahrávání\r\n")
                      .arg(modem.path()));
    {
        QFile ini(dir.filePath(QStringLiteral("modem.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("%1.RingTimeout=4\r\n").arg(modem.path()).toLocal8Bit());
    }
    InstallCallLog();
    env.insert(QStringLiteral("TEMBREL_MODEM_DEVICES"), modem.path());
    Launch({});
    ASSERT_TRUE(Wait(QStringLiteral("READY Modem ") + modem.path())) << output.toStdString();
    ASSERT_TRUE(PumpUntilReady()) << output.toStdString();

    // Picked up on an extension, as a modem with voice events reports it.
    modem.send("\r\nRING\r\n\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 603123456\r\n\r\n\x10P");
    ASSERT_TRUE(Wait(QStringLiteral("STATUS 256 3 603123456"))) << output.toStdString();
    modem.send("\x10p");
    ASSERT_TRUE(Wait(QStringLiteral("CALL type=3"))) << output.toStdString();

    // A withheld number that rings twice and stops: missed, with no number.
    modem.send("RING\r\nNMBR = P\r\n");
    ASSERT_TRUE(Wait(QStringLiteral("STATUS 2 3 -")));
    modem.send("RING\r\n");
    ASSERT_TRUE(Wait(QStringLiteral("CALL type=5"))) << output.toStdString();
    Terminate();

    TMemTable table;
    LoadDataPacketFile(table, dir.filePath(QStringLiteral("data.xml")));
    ASSERT_EQ(table.physicalCount(), 2);
    auto value = [&table](int record, const char *name) {
        for (int i = 0; i < table.fieldCount(); ++i) {
            const TField &field = table.field(i);
            if (field.fieldName() == QLatin1String(name))
                return field.isNullAt(record) ? QString() : field.asStringAt(record);
        }
        return QStringLiteral("<no field>");
    };
    EXPECT_EQ(value(0, "CALLTYPE"), QStringLiteral("3"));
    EXPECT_EQ(value(0, "PHONENUMBER"), QStringLiteral("603123456"));
    EXPECT_EQ(value(1, "CALLTYPE"), QStringLiteral("5"));
    EXPECT_EQ(value(1, "PHONENUMBER"), QString());
    EXPECT_EQ(value(1, "AUDIOTYPE"), QStringLiteral("0"));
    // The log beside data.xml says why the second row has no number.
    QFile log(dir.filePath(QStringLiteral("tembrel-headless.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("withheld the number (private)"));
}

} // namespace
