#pragma once
// The core both programs sit on: the configuration, the call log, the recorder and the
// line module created in that order and joined, the line providers offered, one settings
// value applied, the watch started and stopped. Everything that happens is reported
// through signals, so each program decides where it is shown.
#include "exception.h"
#include "lineprovider.h"
#include "phonebook.h"
#include "settings.h"
#include "stringmap.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class QTimer;
class SimulatedProvider;
class TDataFolderLock;
class TdeAudioControlSource;
class Tdmaudio;
class Tdmcd;
class Tdmtapi;

// One call as the call log stored it.
struct TLoggedCall {
    int Id = 0;
    int CallType = 0;
    int AudioType = 0;
    double WhenStart = 0;
    double WhenEnd = 0;
    int Length = 0; // whole seconds, as stored
    QString PhoneNumber;
    long long AudioSize = 0;
    QString RecordingFile; // the stored recording; empty when the call has none
};

Q_DECLARE_METATYPE(TLoggedCall)

// Raised when the session is created on a data folder another running logger holds; the
// message names the folder and that program.
class EDataFolderInUse : public Exception {
public:
    using Exception::Exception;
};

class TSession : public QObject {
    Q_OBJECT
public:
    // Takes the data folder and creates the modules; the data directory must be set already.
    // Raises EDataFolderInUse when another logger works in the same data folder.
    explicit TSession(QObject *parent = nullptr);
    ~TSession() override;

    // ---- Line providers and inputs ------------------------------------------------------
    // Creates every provider offered with these options and lists the input devices as
    // they are now (the virtual input's switches must be applied before).
    void StartProviders(const LineProviderOptions &options);
    // The simulated line's provider when it is offered; none otherwise.
    SimulatedProvider *Simulation() const;

    // ---- Settings -----------------------------------------------------------------------
    // The settings file; the program's own unless set otherwise. The record format lies
    // beside it.
    QString SettingsFileName() const { return m_settingsFileName; }
    void SetSettingsFileName(const QString &fileName) { m_settingsFileName = fileName; }
    QString RecordFormatFileName() const;
    // The stored settings: the settings file and the record format. A stored format the
    // codec manager does not accept is replaced by the default, logged and told in warning.
    TSettings ReadSettings(QString *warning = nullptr) const;
    // What a simulated start assumes where the settings are silent: the first simulated
    // line, the virtual input, and the line watched in any case.
    static TSettings WithSimulatedDefaults(TSettings settings);

    // Applies a settings value at start: the line and the input are looked up by name,
    // the recorder takes its input and record format. False with the reason when no line
    // device matches (the rest is applied all the same).
    bool ApplyStartSettings(const TSettings &settings, QString *error = nullptr);
    // Applies a value the user confirmed and stores it: the same as at start, and the line
    // is opened anew where the watch, the device or the phone commands changed. Raises
    // Exception when the input cannot change or the settings cannot be written; nothing
    // is stored then.
    void ChangeSettings(const TSettings &settings);
    const TSettings &Settings() const { return m_settings; }

    // ---- Call log and watch ---------------------------------------------------------------
    // Opens data.xml; false with the store's message (the file is left as it is). A log
    // that cannot be written is reported through warning, and the log is open all the same.
    bool OpenCallLog(QString &error);
    // Opens the line; false with the text the program shows when it cannot (logged, and
    // also reported through watchFailed).
    bool StartWatch(QString *error = nullptr);
    // Closes the line; a running recording is stopped and its call logged.
    void StopWatch();
    bool Watching() const;
    // The input recorded from, as the settings name it; empty when recording is off.
    QString RecordingInput() const;

    // ---- Names for numbers and the recording rule ----------------------------------------------
    // The phonebook of the data folder, read when the call log opens; a damaged file is
    // reported through phonebookFailed and leaves the phonebook empty.
    TPhonebook &Phonebook() { return m_phonebook; }
    QString PhonebookFileName() const;
    // Why the phonebook file could not be read; empty when it was read (or is missing).
    QString PhonebookProblem() const { return m_phonebookProblem; }
    // Stores the phonebook; raises Exception when it cannot be written. A file that could
    // not be read is first kept beside it (see DamagedPhonebookFileName), so that storing
    // the phonebook never destroys entries the user may still mend by hand.
    void SavePhonebook();
    // Where a damaged phonebook file is kept: "phonebook.damaged.txt", or with a number
    // when that name is taken.
    QString DamagedPhonebookFileName() const;
    // The name to show for a number: the phonebook's, else lineName, else the name the
    // line gave for that number during this run. Cached per number; the cache follows
    // every change of the phonebook.
    QString NameFor(const QString &number, const QString &lineName = QString()) const;
    // Looks the names of the call list up again when the phonebook or the names the line
    // gave changed since the last time (cheap otherwise); namesChanged follows then.
    void RefreshNames();
    // Whether the settings' recording rule records a call with this number.
    bool RecordingWanted(const QString &number) const;

    // ---- Old recordings -----------------------------------------------------------------------
    // Applies the retention setting now, unless a recording runs (then it is tried again a
    // minute later). Runs by itself after the call log opens and once a day.
    void ApplyRetention();

    Tdmcd &CallData() { return *m_cd; }
    Tdmaudio &Audio() { return *m_audio; }
    Tdmtapi &Tapi() { return *m_tapi; }

signals:
    // Every status report of the line module, with the state's display text.
    void statusChanged(int state, int callType, const QString &number, const QString &text);
    // Every line the call tracker writes to the log.
    void logWritten(int level, const QString &text);
    // Every call stored in the call log, with its recording in place.
    void callLogged(const TLoggedCall &call);
    // Every level event of the recorder; none (nullptr) when a run has ended.
    void levelChanged(TdeAudioControlSource *source);
    // A long silence in the running recording; once per recording.
    void silenceFound();
    void settingsApplied(const TSettings &settings);
    void watchStarted(const QString &lineName);
    void watchStopped();
    void watchFailed(const QString &message);
    // Old recordings were removed (or could not be): the text for the user.
    void recordingsRemoved(const QString &summary);
    void phonebookFailed(const QString &message);
    // The names shown for numbers changed (phonebook, country prefix, a name the line gave).
    void namesChanged();
    // Something the user must learn of although the program goes on: a log that cannot
    // be written, a recording that could not be stored or is incomplete.
    void warning(const QString &text);

private:
    class TCallLogAdapter;
    class TRecorderAdapter;

    void applyToModules(const TSettings &settings);
    // The input's device number; none when recording is off or the input is unknown.
    int findInput(const QString &name) const;
    int findLine(const QString &name) const;

    std::unique_ptr<TDataFolderLock> m_lock;
    std::unique_ptr<Tdmcd> m_cd;
    std::unique_ptr<Tdmaudio> m_audio;
    std::unique_ptr<TCallLogAdapter> m_callLog;
    std::unique_ptr<TRecorderAdapter> m_recorder;
    std::unique_ptr<Tdmtapi> m_tapi;
    std::vector<std::unique_ptr<LineProvider>> m_providers;
    TSettings m_settings;
    QString m_settingsFileName;
    // Takes the names the line gives for the numbers of its calls.
    void learnLineNames();

    TPhonebook m_phonebook;
    QString m_phonebookProblem;
    // Names the line gave this run, by normalised number; never stored.
    QHash<QString, QString> m_lineNames;
    QHash<QString, QString> m_lineNamesGiven; // the same by number as the line gave it
    quint64 m_lineNamesGeneration = 0;
    // Looked-up names by number as written, valid for one phonebook and line-name state.
    mutable TStringMap<QString> m_nameCache; // looked up once per row when a log opens
    mutable quint64 m_nameCachePhonebook = ~quint64(0);
    mutable quint64 m_nameCacheLineNames = ~quint64(0);
    // The state the call list's names were last computed for.
    quint64 m_shownPhonebook = ~quint64(0);
    quint64 m_shownLineNames = ~quint64(0);
    QTimer *m_retentionTimer;
};
