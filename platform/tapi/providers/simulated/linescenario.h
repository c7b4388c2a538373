#pragma once
// Scenarios for the simulated line: one event per line, "+<seconds> <event> [arguments]",
// the delay counted from the previous event ("+0" or no delay: at once). Blank lines and
// lines starting with "#" are skipped. Events:
//   ring [number]            an incoming call is offered, with the caller's number if given
//   callerid <number> [#n]   the caller's number arrives late
//   accept [#n]              the offered call is accepted
//   answer [#n]              the ringing call is connected (picked up here or at the far end)
//   hangup [#n]              the far end hangs up: disconnected, then idle
//   offhook                  the handset is lifted: a new call with dial tone
//   dial <number> [#n]       the number is dialled on the call with dial tone (lifting first if none)
//   ringback [#n]            the far end rings
//   busy [#n]                the far end is busy
//   onhook [#n]              the handset is put down: the call goes idle at once
//   hold [#n], unhold [#n]   the connected call is put on hold and taken back
//   conference               the connected and held calls are joined in a conference call
//   farend <answer [seconds]|busy|none>  how the far end treats the calls the program makes:
//                            ring back and answer after the seconds (default 3), be busy, or
//                            wait for the events above (the default)
//   remove, restore          the device is unplugged and plugged back
//   forget [#n]              the provider loses the call without a word
//   drift <state> [#n]       the call changes state without a message
//   fail <function> <code> [times|*]   the function fails at once with the LINEERR_ code
//   replyerror <function> <code>       the next request of the function is answered with the code
//   noreply <function>                 the next request of the function is never answered
//   clearfaults                        every injected fault is forgotten
// "#n" picks the n-th call still on the line, oldest first; without it the newest call that
// fits the event is taken.
#include <QList>
#include <QString>
#include <QStringList>

struct LineEvent {
    double delaySeconds = 0;
    QString command;
    QStringList args;
    int sourceLine = 0;
    // The event as one scenario line.
    QString text() const;
    // The trailing "#n" that picks a call; empty when the event has none.
    QString selector() const;
    // The first argument that is not the selector (a number, a state, a function).
    QString argument() const;
};

// Raises Exception "line N: <problem>" on the first line that is not a valid event.
QList<LineEvent> ParseScenario(const QString &text);
// One line; an empty event (command empty) for blank and comment lines.
LineEvent ParseLineEvent(const QString &line, int lineNumber);
// Whether the word picks a call: "#" followed by digits alone.
bool IsCallSelector(const QString &text);
// The call states by their scenario names ("connected"); 0 when unknown.
unsigned CallStateFromName(const QString &name);
