// tembrel-linesim: sends scenario events to a simulated line of a running program.
#include "exception.h"
#include "linescenario.h"
#include "linesimserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QTextStream>
#include <cstdio>

namespace {

QString readScenario(const QString &fileName, bool &ok)
{
    QFile file;
    ok = fileName == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                        : (file.setFileName(fileName), file.open(QIODevice::ReadOnly));
    return ok ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tembrel-linesim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends events to a simulated line of a running program.\n"
        "Events are given as arguments (several separated by \";\") or in a scenario file.\n"
        "Examples:  tembrel-linesim ring 603123456\n"
        "           tembrel-linesim \"+0 ring 603123456; +5 answer; +40 hangup\"\n"
        "           tembrel-linesim -f call.scn"));
    parser.addHelpOption();
    parser.addOption({{QStringLiteral("l"), QStringLiteral("line")}, QStringLiteral("Line number (default 1)."),
                      QStringLiteral("number"), QStringLiteral("1")});
    parser.addOption({{QStringLiteral("f"), QStringLiteral("file")},
                      QStringLiteral("Scenario file to play (\"-\" reads standard input)."), QStringLiteral("file")});
    parser.addOption({{QStringLiteral("s"), QStringLiteral("socket")},
                      QStringLiteral("Socket name instead of the one derived from user and line."),
                      QStringLiteral("name")});
    parser.addOption({{QStringLiteral("c"), QStringLiteral("check")},
                      QStringLiteral("Only check the scenario; send nothing.")});
    parser.addPositionalArgument(QStringLiteral("event"), QStringLiteral("Event words, e.g. ring 603123456."));
    parser.process(app);

    QTextStream err(stderr);
    QTextStream out(stdout);
    QString text;
    if (parser.isSet(QStringLiteral("file"))) {
        bool ok = false;
        text = readScenario(parser.value(QStringLiteral("file")), ok);
        if (!ok) {
            err << "tembrel-linesim: cannot read " << parser.value(QStringLiteral("file")) << "\n";
            return 2;
        }
    } else {
        text = parser.positionalArguments().join(QLatin1Char(' ')).replace(QLatin1Char(';'), QLatin1Char('\n'));
    }
    QList<LineEvent> events;
    try {
        events = ParseScenario(text);
    } catch (const Exception &e) {
        err << "tembrel-linesim: " << e.message() << "\n";
        return 2;
    }
    if (events.isEmpty()) {
        err << "tembrel-linesim: no events (see --help)\n";
        return 2;
    }
    if (parser.isSet(QStringLiteral("check"))) {
        out << events.size() << " events\n";
        return 0;
    }
    bool lineOk = false;
    const int line = parser.value(QStringLiteral("line")).toInt(&lineOk);
    if (!lineOk || line < 1) {
        err << "tembrel-linesim: bad line number\n";
        return 2;
    }
    const QString name =
        parser.isSet(QStringLiteral("socket")) ? parser.value(QStringLiteral("socket")) : LineSimSocketName(line);

    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(3000)) {
        err << "tembrel-linesim: no simulated line answers on \"" << name << "\": " << socket.errorString() << "\n";
        return 3;
    }
    for (const LineEvent &event : events)
        socket.write(event.text().toUtf8() + '\n');
    socket.flush();

    int failures = 0;
    qsizetype answered = 0;
    while (answered < events.size()) {
        if (!socket.canReadLine() && !socket.waitForReadyRead(-1)) {
            err << "tembrel-linesim: the program went away\n";
            return 3;
        }
        while (socket.canReadLine() && answered < events.size()) {
            const QString reply = QString::fromUtf8(socket.readLine()).trimmed();
            const LineEvent &event = events.at(answered++);
            if (reply.startsWith(QLatin1String("OK"))) {
                out << reply << "\n";
            } else {
                ++failures;
                err << "line " << event.sourceLine << ": " << reply << "\n";
            }
            out.flush();
            err.flush();
        }
    }
    return failures ? 1 : 0;
}
