#pragma once
// The program's settings as one value: the settings file's keys and the stored record
// format. The session applies such a value; the settings dialog edits one.
#include "deACM.h"
#include "recordingretention.h"
#include "settingsfile.h"

#include <QString>
#include <cstdint>

// The program's settings with their defaults.
struct TSettings {
    int StartDelay = 0; // seconds; read only, the program never writes it
    bool AutoStartWatch = false;
    bool TAPIAutoCheck = false;
    bool CommandCalls = false;
    bool MissedCalls = false;
    int CallLink = 0;
    QString TAPIDevice;
    QString AudioInputDevice;
    uint16_t MaxRecordMinutes = 30;
    bool SilenceDetection = false;
    uint16_t SilenceMaxSeconds = 1;
    uint16_t SilencePeakLevel = 0;
    // Which calls are recorded: every call, only numbers the phonebook marks for
    // recording, or every call but the numbers it marks private.
    enum RecordRules { RecordEveryCall = 0, RecordMarkedOnly = 1, RecordAllButPrivate = 2 };
    int RecordRule = RecordEveryCall;
    // The user's country calling code ("420"): numbers with it compare without it.
    QString CountryPrefix;
    TRetention Retention;
    // The record format, kept in audiorec.dat beside the settings file.
    TdeWaveFormat RecordFormat;
};

// Reads the settings; a missing file gives every default.
TSettings LoadSettings(const QString &fileName);
// Writes every setting but StartDelay, in the order of a new file; raises
// Exception when the file cannot be written.
void SaveSettings(const QString &fileName, const TSettings &settings);

// The stored record format read over the current one; a missing or unreadable file keeps
// the current format. A stored image the codec manager does not offer as a record format
// gives the default format, with the reason in problem.
TdeWaveFormat LoadRecordFormat(const QString &fileName, const TdeWaveFormat &current = TdeWaveFormat(),
                               QString *problem = nullptr);
// Empty when the codec manager offers the format (its header and extra bytes exactly) and
// can record into it; otherwise why not.
QString RecordFormatProblem(const TdeWaveFormat &format);
// Raises Exception when the file cannot be written.
void SaveRecordFormat(const QString &fileName, const TdeWaveFormat &format);
