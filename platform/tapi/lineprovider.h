#pragma once
// A source of line devices (the simulated line, SIP accounts, voice modems). The program
// creates the providers it offers through their factories, each adds its devices to the
// line service, and the line service knows them only through this interface.
#include "lineapi.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

// How a line function reaches a provider before the service carries it out.
enum class LineScreenStage {
    Call,    // the function itself; a code ends it at once
    Reply,   // an asynchronous request; a code becomes its LINE_REPLY, nothing is done
    NoReply, // an asynchronous request; non-zero carries it out but never replies
};

// One editable property of a line, as the line's properties window shows it.
struct LineProperty {
    enum class Kind { Info, Text, Password, Number, Choice, Flag };
    QString key;
    QString label;
    Kind kind = Kind::Info;
    QString value;       // numbers and flags ("0"/"1") as text too
    QStringList choices; // for Choice
    int minimum = 0;     // for Number
    int maximum = 0;
};
using LineProperties = QList<LineProperty>;

// What the program hands every provider when it creates it.
struct LineProviderOptions {
    bool simulate = false;  // the switch that offers the simulated line and its control socket
    QString dataDirectory;  // where a provider keeps its own files
};

class LineProvider {
public:
    virtual ~LineProvider();
    // The provider's name, as the line properties window shows it.
    virtual QString name() const = 0;
    // Asked before every line function the service carries out for one of the provider's
    // devices (deviceId -1: a function of no device, asked of every provider); 0 lets it run.
    virtual LONG screen(LineScreenStage stage, const char *function, int deviceId);
};

// Creates a provider, or none when it is not offered with these options.
using LineProviderFactory = std::unique_ptr<LineProvider> (*)(const LineProviderOptions &options);
