#pragma once
// The settings dialog. The program creates it once, after the audio and TAPI modules,
// and keeps it (hidden) for the whole run:
//   - at start-up it calls LoadSettings(false), which reads the settings file into the
//     controls and the modules, applies the input device and loads the record format;
//   - the "Nastavení..." command shows it with exec(); on QDialog::Accepted the settings
//     are applied and saved, on Rejected they are back as they were in the file;
//   - the main window reads the current values straight from chb_autostartwatch,
//     chb_commandcalls, spe_link and StartDelay, and the TAPI device from dmtapi->Device;
//   - an installation start that shows the dialog on its own sets ShownAlone first.
// While it is shown, the dialog receives the audio module's level events and passes
// each of them on to the receiver that was installed before (the main window).
#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;
class TTrackBar;
class Tdmaudio;
class Tdmtapi;
class TdeAudioControlSource;

class Tfoptlist : public QDialog {
public:
    // The audio list item that switches recording off, and its marker.
    static constexpr int kNoRecording = -2;
    static QString NoRecordingText();

    Tfoptlist(Tdmaudio *dmaudio, Tdmtapi *dmtapi, QWidget *parent = nullptr);
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

    // Fields.
    int StartDelay = 0;
    bool FormatChanged = false;
    bool MonitorStarted = false;
    std::function<void(TdeAudioControlSource *)> SavedOnLevel;
    int ShownDeviceID = 0;
    QString ShownDeviceName;
    // The dialog is the only window of the run (installation start): the check boxes
    // that depend on "Monitorovat zařízení" then stay enabled.
    bool ShownAlone = false;
    // The settings file; the program's own one unless set otherwise.
    QString SettingsFileName;

    // Reads the settings file into the controls and the modules; without keepDevices
    // (at start-up) it also applies the input device and loads the record format.
    void LoadSettings(bool keepDevices);

    // Event handlers; each is also what its control does.
    void FormCreate();
    void FormShow();
    void FormClose(int result);
    void LevelChanged(TdeAudioControlSource *sender);
    void chb_silencedetectionClick();
    void chb_autostartwatchClick();
    void tbChange(TTrackBar *sender);
    void btnformatClick();
    void btn_tapiconfigClick();
    void btn_rectestClick();
    // Raises Exception when the OK cannot complete; the dialog then stays open.
    void btnokClick();

    // v of the 0..32767 scale in whole percent.
    static int PeakPercent(int value);

    Tdmaudio *dmaudio() const { return m_dmaudio; }
    Tdmtapi *dmtapi() const { return m_dmtapi; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildPageTapi();
    void buildPageAudio();
    // Runs an event handler the way the application's error handler would: a raised
    // error is shown in an error box.
    void guarded(const std::function<void()> &handler);
    int selectedAudioDevice() const;
    void switchMonitorOff();

    Tdmaudio *m_dmaudio;
    Tdmtapi *m_dmtapi;
    bool m_syncingTrackBars = false;
    bool m_closing = false;
};
