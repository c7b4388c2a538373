#pragma once
#include <QString>
#include <QStringList>

#include "deACM.h"
#include "exception.h"

// Re-encoding one WAVE file into a record format, through the conversion chain and the
// WAVE writer the recorder uses.

// The command line was not understood (exit code 2).
class EConvertUsage : public Exception {
public:
    using Exception::Exception;
};
// The codec manager has no such format or no way to reach it (exit code 2).
class EFormatUnreachable : public Exception {
public:
    using Exception::Exception;
};

struct TConvertRequest {
    QString input;
    QString output;
    TdeWaveFormat format;
};

// "TAG,RATE,CHANNELS[,BITS]": the codec manager's first format of that tag (decimal) with
// that rate and channel count, and those bits when given.
TdeWaveFormat FormatFromSpec(const QString &spec);
// IN OUT --format SPEC | --format-file FILE (the stored 512-byte format image).
TConvertRequest ParseConvertArguments(const QStringList &arguments);

// The format and the audio bytes' place in a RIFF WAVE file.
struct TWaveSource {
    TdeWaveFormat format;
    qint64 dataOffset = 0;
    qint64 dataSize = 0;
};
// Reads the header of a WAVE file; a data size the file cannot hold (a recording that was
// never completed) is taken as the rest of the file.
TWaveSource ReadWaveHeader(QIODevice &file, const QString &name);

// Converts the whole input into the output. The output appears only when complete: on any
// failure nothing is left behind and an existing file of that name stays as it was.
void ConvertWaveFile(const TConvertRequest &request);
