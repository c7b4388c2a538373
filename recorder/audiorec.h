#pragma once
#include "deACM.h"
#include "deAudioControls.h"
#include "deAudioIO.h"
#include "deAudioStreams.h"

#include <QFile>
#include <QString>
#include <memory>

// The call recorder: captures from the chosen input, converts into the record
// format and writes one WAVE file per run (or none, for a sound monitor), measuring
// the level on the way and ending runs that reach the length limit.
class Taudiorec {
public:
    Taudiorec(bool withLevelSource, uint16_t maxMinutes);
    ~Taudiorec();
    Taudiorec(const Taudiorec &) = delete;
    Taudiorec &operator=(const Taudiorec &) = delete;

    // Starts a run; an empty file name runs without a file.
    void Start(const QString &fileName);
    // Ends the run; harmless when nothing runs.
    void Stop();
    bool IsActive() const { return m_wavein.Active(); }

    int8_t DeviceID() const { return m_wavein.DeviceID(); }
    void SetDeviceID(int8_t id) { m_wavein.SetDeviceID(id); }
    QString DeviceName() const { return m_deviceName; }
    void SetDeviceName(const QString &name) { m_deviceName = name; }
    uint16_t MaxMinutes() const { return m_maxMinutes; }
    void SetMaxMinutes(uint16_t minutes) { m_maxMinutes = minutes; }
    uint32_t StartTick() const { return m_startTick; }

    // The record format: a value given before a run; each run converts into it.
    const TdeWaveFormat &RecordFormat() const { return m_recordFormat; }
    void SetRecordFormat(const TdeWaveFormat &format) { m_recordFormat = format; }
    QString FormatDescription() const;

    TdeAudioIn &WaveIn() { return m_wavein; }
    TdeAudioConvertor &Convertor() { return m_convertor; }
    TdeAudioControlSource *LevelSource() { return m_levelSource.get(); }
    // Largest recording file; a run that reaches it ends with a log line.
    void SetFileSizeLimit(qint64 bytes) { m_fileSizeLimit = bytes; }

    // What went wrong with the recording of the current or last run (a failed start, a
    // refused write); empty when its file holds everything that was heard.
    QString RunProblem() const { return m_problem; }
    void SetRunProblem(const QString &problem) { m_problem = problem; }

    static QString LimitReachedText();
    static QString WriteFailedText();
    static QString FileFullText();

private:
    void StartRun(const QString &fileName);
    void AudioConverted(const void *data, int size);

    TdeAudioIn m_wavein;
    TdeAudioConvertor m_convertor;
    TdeWaveFormat m_recordFormat;
    std::unique_ptr<TdeAudioControlSource> m_levelSource;
    std::unique_ptr<QFile> m_file;
    std::unique_ptr<TdeRIFFAudioWriter> m_writer;
    uint32_t m_startTick = 0;
    bool m_stopping = false; // the chain is being flushed into the file
    uint16_t m_maxMinutes;
    QString m_deviceName;
    QString m_problem;
    qint64 m_fileSizeLimit = TdeRIFFAudioWriter::MaxFileSize;
};
