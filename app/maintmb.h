#pragma once
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QStatusBar>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

#include "programswitches.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QModelIndex;
class QPainter;
class QProgressBar;
class QPushButton;
class QRect;
class QTimer;
class TDBGridEx;
class TdeAudioControlSource;
class TSession;
class Tffltaud;
class Tfoptlist;
class Tfrg;
class Tfstattmb;

// A status bar of fixed panels, each a text with a sunken frame.
class TStatusPanels : public QStatusBar {
public:
    TStatusPanels(std::initializer_list<int> widths, QWidget *parent = nullptr);
    int PanelCount() const { return int(m_panels.size()); }
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString &text);
    int PanelWidth(int index) const;
    QLabel *Panel(int index) const { return m_panels.at(index); }
    // A mouse button pressed on the bar: (button, x position).
    std::function<void(Qt::MouseButton, int x)> OnMouseDown;

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QList<QLabel *> m_panels;
};

// The program's main window: the call list with its record commands, the menus,
// the line status and recording level at the bottom, and the tray icon through
// which the program is reached while the window is hidden.
class Tfmaintmb : public QMainWindow {
public:
    // The window's creation: priority, caption, tray icon, LastNumber.
    explicit Tfmaintmb(const TProgramSwitches &switches, QWidget *parent = nullptr);
    ~Tfmaintmb() override;

    // The modules and windows created with the program (owned by it, not by the window).
    TSession *session = nullptr;
    Tffltaud *ffltaud = nullptr;
    Tfstattmb *fstattmb = nullptr;
    Tfoptlist *foptlist = nullptr;

    // ---- Components -----------------------------------------------------------------
    QFrame *Bevel1;
    Tfrg *frg_audio;
    QWidget *Panel1;
    QPushButton *btn_aud_play;
    QPushButton *btn_save;
    QWidget *Panel3;
    QWidget *Panel2;
    QProgressBar *gaugeleft;
    QProgressBar *gaugeright;
    TStatusPanels *stbleft;
    TStatusPanels *stb;
    // Beside the status panels: a passing message (where no tray shows balloons), else
    // the active filter of the call list.
    QLabel *stbinfo;
    QSystemTrayIcon *cti;
    QList<QIcon> ImageList1;

    QMenu *mm_file;
    QAction *mm_playrecording;
    QAction *mm_saverecording;
    QAction *mm_exportrecordings;
    QAction *mm_fileseparator1;
    QAction *mm_settings;
    QAction *mm_fileseparator2;
    QAction *mm_quit;
    QAction *mm_statistics;
    QAction *mm_phonebook;
    QMenu *mm_phone;
    QAction *mm_callnumber;
    QAction *mm_acceptcall;
    QAction *mm_hangup;
    QMenu *mm_help;
    QAction *mm_about;

    QMenu *pmcti;
    QAction *pm_callnumber;
    QAction *pm_acceptcall;
    QAction *pm_hangup;
    QAction *pm_open;
    QAction *pm_separator;
    QAction *pm_quit;

    QMenu *pmstatus;

    // The number last dialled through the dial dialog.
    QString LastNumber;

    // ---- Life cycle --------------------------------------------------------------------
    // Loads the settings, opens the call log, binds the list and posts the after-start
    // step. False when the program cannot run (the call log cannot be opened).
    bool Startup();
    // The deferred step after the main loop has started: the missing input device
    // message and the first StartWatch.
    void AfterStart();
    void StartWatch();
    void StopWatch();
    // The line status as it is without a watched line.
    void ClearLineStatus();
    // Decides at start whether the window is shown (not with "startminimized" or "noshow").
    void ctiStartup();
    // Closes the window for good: the watch stops and the program ends.
    void CloseMainWindow();
    // Brings the window forward from the tray or from behind other windows.
    void BringToFront();

    // ---- Displays ------------------------------------------------------------------------
    void ShowStatus(int state, int callType, const QString &number);
    // "number (name)", or the number alone when there is no name.
    static QString NumberWithName(const QString &number, const QString &name);
    // The name shown for a number: the phonebook's, else the one the line gives.
    QString CallerName(const QString &number) const;
    // The text of the balloon of the ringing call; empty when no call rings.
    QString RingBalloonText() const { return m_ringBalloon; }
    void ShowLevel(TdeAudioControlSource *source);
    void GridAfterScroll();
    // Draws the call-type icon before the call type name; any grid showing calls uses it.
    void frg_audiogrDrawColumnCell(TDBGridEx *grid, QPainter *painter, const QRect &rect, int column,
                                   const QModelIndex &index, bool selected);
    // Applies the phone-command setting to the "Telefon" menu and the tray phone items.
    void ApplyCommandCalls(bool commandCalls);

    // ---- Commands ----------------------------------------------------------------------------
    void frg_audiospbfilterClick(bool fromButton);
    void btn_aud_playClick();
    void btn_saveClick();
    void mm_exportrecordingsClick();
    void mm_settingsClick();
    void mm_statisticsClick();
    // The phonebook window; the call list shows the changed names afterwards.
    void mm_phonebookClick();
    void mm_holdClick(QAction *sender);
    void mm_aboutClick();
    void pm_openClick();
    void pmctiPopup();
    void pm_quitClick();
    void stbMouseDown(Qt::MouseButton button, int x);

    // ---- Tray ----------------------------------------------------------------------------------
    bool TrayAvailable() const { return m_trayAvailable; }
    // An error balloon of the tray icon titled with the application title; without a
    // tray the text appears in the status bar for the same time.
    void ShowErrorBalloon(const QString &text, int seconds);
    // The same with the information icon: news the user should hear of, not a fault.
    void ShowInfoBalloon(const QString &text, int seconds);
    // Shows a failure: a plain message while the window is visible, else a balloon.
    void ShowStartupError(const QString &text);
    // Where the desktop offers a tray: seam for tests of the hide-to-tray behaviour.
    void SetTrayAvailable(bool available);
    // A click toggles the window; a double click shows it.
    void ctiActivated(QSystemTrayIcon::ActivationReason reason);
    // The message that ShowErrorBalloon put into the status bar, while it shows.
    QString StatusMessage() const;

    // ---- What asks the user, replaceable for tests ------------------------------------------------
    // The file to save a recording to; empty when cancelled.
    std::function<QString()> AskSaveFileName;
    // The folder to export recordings into; empty when cancelled.
    std::function<QString()> AskExportFolder;
    // For a filtered list: 1 only the calls in the filter, 0 all calls, -1 cancelled.
    std::function<int()> AskExportScope;
    // The number to dial: true with the edited number when confirmed.
    std::function<bool(QString &number)> AskNumber;

    // Ends the main loop once the window has closed for good; the program sets it.
    std::function<void()> EndApplication;

    const TProgramSwitches &Switches() const { return m_switches; }
    bool Closed() const { return m_closed; }
    bool Watching() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    void createMenus();
    void createTray();
    // The tray balloon, or without a tray the status bar in this colour, for a time.
    void showBalloon(const QString &text, int seconds, QSystemTrayIcon::MessageIcon icon, const QString &colour);
    void createGrid();
    void createBottom();
    void layoutPanel1();
    void FormClose();
    void setPhoneItemsEnabled(bool dial, bool answer, bool hangup);
    void showCallerNumber();
    void showRingBalloon(int state, const QString &number);
    bool currentRecordHasAudio(int &id) const;
    void showFilterState();
    bool confirmQuit();

    TProgramSwitches m_switches;
    bool m_trayAvailable = false;
    QString m_statusNumber; // the number the status bar shows
    QString m_ringBalloon;
    bool m_closing = false;
    bool m_closed = false;
    QTimer *m_messageTimer = nullptr;
};

// The event the window posts itself at the end of its start-up step.
constexpr int UM_AFTERSTART = 1042;
