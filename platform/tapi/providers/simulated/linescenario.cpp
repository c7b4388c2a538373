#include "linescenario.h"

#include "exception.h"
#include "lineapi.h"
#include "lineservice.h"

#include <QRegularExpression>
#include <cmath>

namespace {

struct CommandShape {
    const char *name;
    int minArgs;
    int maxArgs; // not counting a trailing "#n" selector
    bool selector;
};

const CommandShape kCommands[] = {
    {"ring", 0, 1, false},      {"callerid", 1, 1, true},  {"accept", 0, 0, true},
    {"answer", 0, 0, true},     {"hangup", 0, 0, true},    {"offhook", 0, 0, false},
    {"dial", 1, 1, true},       {"ringback", 0, 0, true},  {"busy", 0, 0, true},
    {"onhook", 0, 0, true},     {"hold", 0, 0, true},      {"unhold", 0, 0, true},
    {"conference", 0, 0, false}, {"remove", 0, 0, false},  {"restore", 0, 0, false},
    {"forget", 0, 0, true},     {"drift", 1, 1, true},     {"fail", 2, 3, false},
    {"replyerror", 2, 2, false}, {"noreply", 1, 1, false}, {"clearfaults", 0, 0, false},
    {"farend", 1, 2, false},    {"callername", 1, 8, true},
};

struct StateName {
    const char *name;
    unsigned state;
};
const StateName kStates[] = {
    {"idle", LINECALLSTATE_IDLE},
    {"offering", LINECALLSTATE_OFFERING},
    {"accepted", LINECALLSTATE_ACCEPTED},
    {"dialtone", LINECALLSTATE_DIALTONE},
    {"dialing", LINECALLSTATE_DIALING},
    {"ringback", LINECALLSTATE_RINGBACK},
    {"busy", LINECALLSTATE_BUSY},
    {"specialinfo", LINECALLSTATE_SPECIALINFO},
    {"connected", LINECALLSTATE_CONNECTED},
    {"proceeding", LINECALLSTATE_PROCEEDING},
    {"onhold", LINECALLSTATE_ONHOLD},
    {"conferenced", LINECALLSTATE_CONFERENCED},
    {"disconnected", LINECALLSTATE_DISCONNECTED},
    {"unknown", LINECALLSTATE_UNKNOWN},
};

const QStringList kFaultFunctions = {
    QStringLiteral("lineInitialize"),    QStringLiteral("lineShutdown"),        QStringLiteral("lineNegotiateAPIVersion"),
    QStringLiteral("lineOpen"),          QStringLiteral("lineClose"),           QStringLiteral("lineSetStatusMessages"),
    QStringLiteral("lineGetDevCaps"),    QStringLiteral("lineGetAddressCaps"),  QStringLiteral("lineGetCallInfo"),
    QStringLiteral("lineGetCallStatus"), QStringLiteral("lineGetLineDevStatus"), QStringLiteral("lineMakeCall"),
    QStringLiteral("lineDial"),          QStringLiteral("lineAnswer"),          QStringLiteral("lineDrop"),
    QStringLiteral("lineDeallocateCall"), QStringLiteral("lineConfigDialog"),
};
const QStringList kAsyncFunctions = {QStringLiteral("lineMakeCall"), QStringLiteral("lineDial"),
                                     QStringLiteral("lineAnswer"), QStringLiteral("lineDrop")};

[[noreturn]] void fail(int lineNumber, const QString &problem)
{
    throw Exception(QStringLiteral("line %1: %2").arg(lineNumber).arg(problem));
}

bool isNumber(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9+*#A-Da-d,]{1,40}$"));
    return pattern.match(text).hasMatch();
}

bool isSelector(const QString &text) { return IsCallSelector(text); }

const CommandShape *shapeOf(const QString &command);

bool knownFunction(const QString &name, const QStringList &list)
{
    for (const QString &f : list) {
        if (f.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

const CommandShape *shapeOf(const QString &command)
{
    for (const auto &entry : kCommands) {
        if (command == QLatin1String(entry.name))
            return &entry;
    }
    return nullptr;
}

} // namespace

bool IsCallSelector(const QString &text)
{
    // "#" and digits alone; "#31#603123456" is a number that begins with "#".
    static const QRegularExpression pattern(QStringLiteral("^#[0-9]{1,3}$"));
    return pattern.match(text).hasMatch();
}

QString LineEvent::selector() const
{
    const CommandShape *shape = shapeOf(command);
    if (!shape || !shape->selector || args.isEmpty() || !IsCallSelector(args.last()))
        return QString();
    // A lone argument of an event that needs one is that argument, not a selector.
    if (args.size() <= shape->minArgs)
        return QString();
    return args.last();
}

QString LineEvent::argument() const
{
    if (args.isEmpty())
        return QString();
    return selector().isEmpty() || args.size() > 1 ? args.first() : QString();
}

QString LineEvent::text() const
{
    QString result = QLatin1Char('+') + QString::number(delaySeconds, 'g', 10) + QLatin1Char(' ') + command;
    for (const QString &arg : args)
        result += QLatin1Char(' ') + arg;
    return result;
}

unsigned CallStateFromName(const QString &name)
{
    for (const auto &entry : kStates) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return entry.state;
    }
    return 0;
}

LineEvent ParseLineEvent(const QString &line, int lineNumber)
{
    LineEvent event;
    event.sourceLine = lineNumber;
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
        return event;
    QStringList words = trimmed.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.first().startsWith(QLatin1Char('+'))) {
        const QString delay = words.takeFirst();
        bool ok = false;
        const double seconds = delay.mid(1).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 86400)
            fail(lineNumber, QStringLiteral("bad time offset \"%1\" (expected +<seconds>)").arg(delay));
        event.delaySeconds = seconds;
        if (words.isEmpty())
            fail(lineNumber, QStringLiteral("time offset without an event"));
    } else if (words.first().front().isDigit() || words.first().startsWith(QLatin1Char('-'))) {
        fail(lineNumber, QStringLiteral("time offset \"%1\" must start with \"+\"").arg(words.first()));
    }
    event.command = words.takeFirst().toLower();
    const CommandShape *shape = nullptr;
    for (const auto &entry : kCommands) {
        if (event.command == QLatin1String(entry.name))
            shape = &entry;
    }
    if (!shape)
        fail(lineNumber, QStringLiteral("unknown event \"%1\"").arg(event.command));
    QStringList plain = words;
    if (shape->selector && plain.size() > shape->minArgs && isSelector(plain.last()))
        plain.removeLast();
    if (plain.size() < shape->minArgs)
        fail(lineNumber, QStringLiteral("\"%1\" needs %2 argument(s)").arg(event.command).arg(shape->minArgs));
    if (plain.size() > shape->maxArgs)
        fail(lineNumber, QStringLiteral("\"%1\" has too many arguments: \"%2\"").arg(event.command, words.join(QLatin1Char(' '))));
    // Arguments by event.
    if ((event.command == QLatin1String("ring") || event.command == QLatin1String("callerid")
         || event.command == QLatin1String("dial"))
        && !plain.isEmpty() && !isNumber(plain.first()))
        fail(lineNumber, QStringLiteral("\"%1\" is not a telephone number").arg(plain.first()));
    if (event.command == QLatin1String("drift") && !CallStateFromName(plain.first()))
        fail(lineNumber, QStringLiteral("unknown call state \"%1\"").arg(plain.first()));
    if (event.command == QLatin1String("farend")) {
        const QString mode = plain.first().toLower();
        if (mode != QLatin1String("answer") && mode != QLatin1String("busy") && mode != QLatin1String("none"))
            fail(lineNumber, QStringLiteral("far end \"%1\" is not answer, busy or none").arg(plain.first()));
        if (plain.size() > 1) {
            bool ok = false;
            const double seconds = plain.at(1).toDouble(&ok);
            if (mode != QLatin1String("answer") || !ok || !std::isfinite(seconds) || seconds < 0 || seconds > 3600)
                fail(lineNumber, QStringLiteral("bad far-end delay \"%1\"").arg(plain.at(1)));
        }
    }
    if (event.command == QLatin1String("fail") || event.command == QLatin1String("replyerror")
        || event.command == QLatin1String("noreply")) {
        const bool async = event.command != QLatin1String("fail");
        if (!knownFunction(plain.first(), async ? kAsyncFunctions : kFaultFunctions))
            fail(lineNumber, QStringLiteral("\"%1\" is not a line function%2")
                                 .arg(plain.first(), async ? QStringLiteral(" with a reply") : QString()));
        if (plain.size() > 1 && !LineErrorFromName(plain.at(1)))
            fail(lineNumber, QStringLiteral("unknown error code \"%1\"").arg(plain.at(1)));
        if (plain.size() > 2 && plain.at(2) != QLatin1String("*")) {
            bool ok = false;
            const int times = plain.at(2).toInt(&ok);
            if (!ok || times < 1)
                fail(lineNumber, QStringLiteral("bad repeat count \"%1\"").arg(plain.at(2)));
        }
    }
    event.args = words;
    return event;
}

QList<LineEvent> ParseScenario(const QString &text)
{
    QList<LineEvent> events;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        LineEvent event = ParseLineEvent(lines.at(i), i + 1);
        if (!event.command.isEmpty())
            events.append(event);
    }
    return events;
}
