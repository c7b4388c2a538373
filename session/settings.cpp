#include "settings.h"

#include "exception.h"

TSettings LoadSettings(const QString &fileName)
{
    const TSettingsFile file(fileName);
    const TSettings defaults;
    TSettings s;
    s.StartDelay = file.ReadInteger(QStringLiteral("StartDelay"), defaults.StartDelay);
    s.AutoStartWatch = file.ReadBool(QStringLiteral("AutoStartWatch"), defaults.AutoStartWatch);
    s.TAPIAutoCheck = file.ReadBool(QStringLiteral("TAPIAutoCheck"), defaults.TAPIAutoCheck);
    s.CommandCalls = file.ReadBool(QStringLiteral("CommandCalls"), defaults.CommandCalls);
    s.MissedCalls = file.ReadBool(QStringLiteral("MissedCalls"), defaults.MissedCalls);
    s.CallLink = file.ReadInteger(QStringLiteral("CallLink"), defaults.CallLink);
    s.TAPIDevice = file.ReadString(QStringLiteral("TAPIDevice"));
    s.AudioInputDevice = file.ReadString(QStringLiteral("AudioInputDevice"));
    s.MaxRecordMinutes = file.ReadWord(QStringLiteral("MaxRecordMinutes"), defaults.MaxRecordMinutes);
    s.SilenceDetection = file.ReadBool(QStringLiteral("SilenceDetection"), defaults.SilenceDetection);
    s.SilenceMaxSeconds = file.ReadWord(QStringLiteral("SilenceMaxSeconds"), defaults.SilenceMaxSeconds);
    s.SilencePeakLevel = file.ReadWord(QStringLiteral("SilencePeakLevel"), defaults.SilencePeakLevel);
    return s;
}

void SaveSettings(const QString &fileName, const TSettings &s)
{
    TSettingsFile file(fileName);
    file.WriteString(QStringLiteral("TAPIDevice"), s.TAPIDevice);
    file.WriteString(QStringLiteral("AudioInputDevice"), s.AudioInputDevice);
    file.WriteBool(QStringLiteral("AutoStartWatch"), s.AutoStartWatch);
    file.WriteBool(QStringLiteral("TAPIAutoCheck"), s.TAPIAutoCheck);
    file.WriteBool(QStringLiteral("CommandCalls"), s.CommandCalls);
    file.WriteBool(QStringLiteral("MissedCalls"), s.MissedCalls);
    file.WriteInteger(QStringLiteral("CallLink"), s.CallLink);
    file.WriteInteger(QStringLiteral("MaxRecordMinutes"), s.MaxRecordMinutes);
    file.WriteBool(QStringLiteral("SilenceDetection"), s.SilenceDetection);
    file.WriteInteger(QStringLiteral("SilenceMaxSeconds"), s.SilenceMaxSeconds);
    file.WriteInteger(QStringLiteral("SilencePeakLevel"), s.SilencePeakLevel);
    file.Save();
}

TdeWaveFormat LoadRecordFormat(const QString &fileName, const TdeWaveFormat &current)
{
    TdeWaveFormat format = current;
    try {
        format.LoadFromFile(fileName);
    } catch (const Exception &) {
        // An unreadable file keeps the format in use.
        return current;
    }
    return format;
}

void SaveRecordFormat(const QString &fileName, const TdeWaveFormat &format)
{
    TdeWaveFormat copy = format;
    copy.SaveToFile(fileName);
}
