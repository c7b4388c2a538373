#include "settings.h"

#include "acmdriver.h"
#include "exception.h"

#include <cstring>

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
    s.RecordRule = qBound(0, file.ReadInteger(QStringLiteral("RecordRule"), defaults.RecordRule), 2);
    s.CountryPrefix = file.ReadString(QStringLiteral("CountryPrefix")).trimmed();
    s.Retention.mode = qBound(0, file.ReadInteger(QStringLiteral("RetentionMode"), defaults.Retention.mode), 2);
    s.Retention.days = qBound(1, file.ReadInteger(QStringLiteral("RetentionDays"), defaults.Retention.days), 36500);
    s.Retention.maxGigabytes =
        qBound(1, file.ReadInteger(QStringLiteral("RetentionMaxGB"), int(defaults.Retention.maxGigabytes)), 100000);
    s.Retention.deleteRows = file.ReadBool(QStringLiteral("RetentionDeleteRows"), defaults.Retention.deleteRows);
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
    // Keys of the later features are written only when they differ from their defaults,
    // so the file stays as it always was for a user who never chose them; an older
    // program keeps them where they are and ignores them.
    const TSettings defaults;
    auto optional = [&file](const char *key, const QString &value, bool isDefault) {
        file.WriteString(QLatin1String(key), isDefault ? QString() : value);
    };
    optional("RecordRule", QString::number(s.RecordRule), s.RecordRule == defaults.RecordRule);
    optional("CountryPrefix", s.CountryPrefix, s.CountryPrefix.isEmpty());
    optional("RetentionMode", QString::number(s.Retention.mode), s.Retention.mode == defaults.Retention.mode);
    optional("RetentionDays", QString::number(s.Retention.days), s.Retention.days == defaults.Retention.days);
    optional("RetentionMaxGB", QString::number(int(s.Retention.maxGigabytes)),
             int(s.Retention.maxGigabytes) == int(defaults.Retention.maxGigabytes));
    optional("RetentionDeleteRows", QStringLiteral("1"), !s.Retention.deleteRows);
    file.Save();
}

QString RecordFormatProblem(const TdeWaveFormat &format)
{
    const WAVEFORMATEX &header = *format.Data();
    if (header.wFormatTag == 0)
        return QStringLiteral("no format tag");
    // The chooser offers only the formats the drivers list, so a stored image is one of
    // them byte for byte: PCM up to wBitsPerSample, any other tag with its extra bytes.
    const bool pcm = header.wFormatTag == WAVE_FORMAT_PCM;
    const int length = pcm ? 16 : int(sizeof(WAVEFORMATEX)) + header.cbSize;
    if (!pcm && header.cbSize > TdeWaveFormat::MaxExtraSize)
        return QStringLiteral("cbSize %1 is too large").arg(header.cbSize);
    bool listed = false;
    for (const AcmDriver *driver : AcmDrivers()) {
        if (!driver->FormatTags().contains(header.wFormatTag))
            continue;
        for (const QByteArray &image : driver->Formats(header.wFormatTag)) {
            if (image.size() < 16)
                continue;
            WAVEFORMATEX listedHeader {};
            std::memcpy(&listedHeader, image.constData(), std::min<size_t>(sizeof listedHeader, size_t(image.size())));
            const int listedLength = pcm ? 16 : int(sizeof(WAVEFORMATEX)) + listedHeader.cbSize;
            if (listedLength == length && image.size() >= length
                && std::memcmp(image.constData(), format.Bytes(), size_t(length)) == 0)
                listed = true;
        }
    }
    if (!listed)
        return QStringLiteral("the codec manager offers no such format (tag %1)").arg(header.wFormatTag);
    TdeWaveFormat capture;
    try {
        capture.SuggestPCMFrom(format);
        if (!capture.CanConvertTo(format, true))
            return QStringLiteral("no conversion into the format");
    } catch (const Exception &e) {
        return e.message();
    }
    return QString();
}

TdeWaveFormat LoadRecordFormat(const QString &fileName, const TdeWaveFormat &current, QString *problem)
{
    TdeWaveFormat format = current;
    try {
        format.LoadFromFile(fileName);
    } catch (const Exception &) {
        // An unreadable file keeps the format in use.
        return current;
    }
    const QString why = RecordFormatProblem(format);
    if (!why.isEmpty()) {
        if (problem)
            *problem = why;
        return TdeWaveFormat();
    }
    return format;
}

void SaveRecordFormat(const QString &fileName, const TdeWaveFormat &format)
{
    TdeWaveFormat copy = format;
    copy.SaveToFile(fileName);
}
