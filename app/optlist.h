#pragma once
// The settings dialog. The program creates it once, after the session, and keeps it
// (hidden) for the whole run:
//   - LoadSettings() shows the session's settings in the controls;
//   - the "Nastavení..." command shows it with exec(); OK hands the edited value to the
//     session, which applies and stores it; Cancel shows the session's settings again;
//   - an installation start that shows the dialog on its own sets ShownAlone first.
// While it is shown, the dialog shows the session's level events on its track bars.
#include <QDialog>
#include <QMetaObject>
#include <QString>
#include <functional>

#include "deACM.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;
class TTrackBar;
class TSession;
class TdeAudioControlSource;

class Tfoptlist : public QDialog {
public:
    // The audio list item that switches recording off, and its marker.
    static constexpr int kNoRecording = -2;
    static QString NoRecordingText();

    explicit Tfoptlist(TSession *session, QWidget *parent = nullptr);
    ~Tfoptlist() override;

    QTabWidget *pgc;
    QPushButton *btnok;
    QPushButton *btncancel;

    // "TAPI zařízení"
    QWidget *TabSheet1;
    QLabel *Label4;
    QSpinBox *spe_link;
    QLabel *Label6;
    QComboBox *cb_tapi; // line names, each carrying its TAPI device identifier
    QCheckBox *chb_autostartwatch;
    QPushButton *btn_tapiconfig;
    QCheckBox *chb_tapiautocheck;
    QCheckBox *chb_missedcalls;
    QCheckBox *chb_commandcalls;
    QFrame *Bevel2;
    QCheckBox *chb_winstart;

    // "Audio nahrávání"
    QWidget *TabSheet2;
    QLabel *Label3;
    QComboBox *cb_audio; // "Nepoužívat nahrávání" (-2), then the wave-in devices with their numbers
    QGroupBox *GroupBox2;
    QLabel *Label2; // the record format's description
    QPushButton *btnformat;
    QCheckBox *chb_silencedetection;
    QPushButton *btn_rectest;
    QLabel *lb_silencelevel;
    TTrackBar *tb1;
    TTrackBar *tb2;
    QLabel *lb_peakleft;
    QLabel *lb_peakright;
    QLabel *Label7;
    QLabel *Label8;
    QSpinBox *spe_silenceseconds;
    QLabel *Label1;
    QLabel *Label5;
    QSpinBox *spe_maxaudio;

    // "Pravidla": which calls are recorded, the country prefix, old recordings
    QWidget *TabSheet3;
    QGroupBox *GroupBox3;
    QRadioButton *rb_recordall;       // every call
    QRadioButton *rb_recordmarked;    // only numbers marked for recording
    QRadioButton *rb_recordnotprivate; // every call but numbers marked private
    QLabel *Label9;
    QLineEdit *ed_countryprefix;
    QLabel *Label10;
    QGroupBox *GroupBox4;
    QRadioButton *rb_keepall;   // retention off
    QRadioButton *rb_keepdays;  // recordings older than spe_keepdays days go
    QSpinBox *spe_keepdays;
    QLabel *Label11;
    QRadioButton *rb_keepsize;  // the oldest go beyond spe_keepgb gigabytes
    QSpinBox *spe_keepgb;
    QLabel *Label12;
    QCheckBox *chb_keeprows;    // the calls' rows go with their recordings

    // Fields.
    bool FormatChanged = false;
    bool MonitorStarted = false;
    int ShownDeviceID = 0;
    QString ShownDeviceName;
    // The dialog is the only window of the run (installation start): the check boxes
    // that depend on "Monitorovat zařízení" then stay enabled.
    bool ShownAlone = false;
    // The record format the dialog shows; OK hands it to the session with the rest.
    TdeWaveFormat RecordFormat;

    // Shows the session's settings in the controls.
    void LoadSettings();

    // Event handlers; each is also what its control does.
    void FormCreate();
    void FormShow();
    void FormClose(int result);
    void LevelChanged(TdeAudioControlSource *sender);
    void chb_silencedetectionClick();
    void chb_autostartwatchClick();
    // The day and size limits and the rows check box follow the retention choice.
    void rb_keepClick();
    // The country prefix as the settings keep it (digits only); raises Exception with a
    // message for the user when the text is not a country calling code.
    QString CountryPrefix() const;
    void tbChange(TTrackBar *sender);
    void btnformatClick();
    void btn_tapiconfigClick();
    void btn_rectestClick();
    // Raises Exception when the OK cannot complete; the dialog then stays open.
    void btnokClick();

    // v of the 0..32767 scale in whole percent.
    static int PeakPercent(int value);

    TSession *session() const { return m_session; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildPageTapi();
    void buildPageAudio();
    void buildPageRules();
    // Runs an event handler the way the application's error handler would: a raised
    // error is shown in an error box.
    void guarded(const std::function<void()> &handler);
    int selectedAudioDevice() const;
    void switchMonitorOff();

    TSession *m_session;
    QMetaObject::Connection m_levels;
    bool m_syncingTrackBars = false;
    bool m_closing = false;
};
