#include "maintmb.h"

#include "CheckCombo.h"
#include "about.h"
#include "clock.h"
#include "calltypeicons.h"
#include "dbfrg.h"
#include "exception.h"
#include "fltaud.h"
#include "inputex.h"
#include "memtable.h"
#include "myutils.h"
#include "optlist.h"
#include "phonebookwnd.h"
#include "stattmb.h"
#include "tablemodel.h"
#include "tembrelapp.h"
#include "session.h"
#include "udmaudio.h"
#include "udmcd.h"
#include "udmtapi.h"
#include "windowfont.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QSpinBox>
#include <QCloseEvent>
#include <QDate>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kGaugeMax = 37767;
constexpr int kGaugeLift = 5000;
// How long the balloon of a ringing call shows.
constexpr int kRingBalloonSeconds = 10;

const char kNoRecorderText[] = "Chyba - nebylo nalezeno žádné záznamové zařízení pro nahrávaní.";
const char kRestartFailedText[] = "Chyba - TAPI zařízení nelze zpětně automaticky zaktivovat!";
const char kSilenceText[] = "Chyba - zdetekováno dlouhé ticho v aktuální nahrávce.";

void showPlain(const QString &text)
{
    if (IMessageBoxHandler *handler = MessageBoxHandler())
        handler->showPlainMessage(text);
    else
        WriteLogLine(text);
}

QString statusPrefix(int callCount, int state)
{
    if (callCount == 0 || (callCount == 1 && DWORD(state) != LINECALLSTATE_IDLE))
        return QStringLiteral(" Status: ");
    return QStringLiteral(" Status(") + QString::number(callCount) + QStringLiteral("): ");
}

TColumn gridColumn(const char *field, const char *title, int width, bool visible)
{
    TColumn c;
    c.FieldName = QString::fromLatin1(field);
    c.Title.Caption = QString::fromUtf8(title);
    c.Width = width;
    c.Visible = visible;
    return c;
}

// A command's handler: an error it raises is shown in an error box, as the
// application shows every error that leaves an event handler.
template <typename Handler> auto guarded(Handler handler)
{
    return [handler] {
        try {
            handler();
        } catch (const std::exception &e) {
            ShowMessageBox(QString::fromUtf8(e.what()), mkError, mbOK);
        }
    };
}

// Today at midnight as a day number.
double today() { return double(int(Now())); }

} // namespace

// ---- TStatusPanels ---------------------------------------------------------------------------

TStatusPanels::TStatusPanels(std::initializer_list<int> widths, QWidget *parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    for (int width : widths) {
        auto *panel = new QLabel(this);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setFixedWidth(width);
        panel->setTextFormat(Qt::PlainText);
        addWidget(panel);
        m_panels.append(panel);
    }
}

QString TStatusPanels::PanelText(int index) const { return m_panels.at(index)->text(); }

void TStatusPanels::SetPanelText(int index, const QString &text) { m_panels.at(index)->setText(text); }

int TStatusPanels::PanelWidth(int index) const { return m_panels.at(index)->width(); }

void TStatusPanels::mousePressEvent(QMouseEvent *event)
{
    QStatusBar::mousePressEvent(event);
    if (OnMouseDown)
        OnMouseDown(event->button(), int(event->position().x()));
}

// ---- Tfmaintmb: creation ------------------------------------------------------------------------

Tfmaintmb::Tfmaintmb(const TProgramSwitches &switches, QWidget *parent)
    : QMainWindow(parent), m_switches(switches)
{
    setObjectName(QStringLiteral("fmaintmb"));
    // The program keeps up with the line and the sound card ahead of other work.
    RaiseProcessPriority();

    setFont(WindowFont());
    resize(751, 563);
    setMinimumSize(710, 380);
    setWindowTitle(QStringLiteral("Verandel ") + ApplicationTitle());
    setWindowIcon(ApplicationIcon());
    ImageList1 = CallTypeImageList();

    createMenus();
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Bevel1 = new QFrame(central);
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Bevel1->setFixedHeight(2);
    layout->addWidget(Bevel1);
    createGrid();
    frg_audio->setParent(central);
    layout->addWidget(frg_audio, 1);
    createBottom();
    Panel3->setParent(central);
    layout->addWidget(Panel3);
    setCentralWidget(central);
    createTray();

    LastNumber.clear();

    AskSaveFileName = [this] {
        QFileDialog dialog(this, QStringLiteral("Uložit nahrávku"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QStringLiteral("audio soubory (*.wav)"));
        dialog.setDefaultSuffix(QStringLiteral("wav"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.setSizeGripEnabled(true);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
    AskExportFolder = [this] {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Vyberte adresář pro export:"));
    };
    AskExportScope = [this] {
        QMessageBox box(QMessageBox::Question, ApplicationTitle(),
                        QStringLiteral("Seznam hovorů je filtrovaný. Které nahrávky exportovat?"), QMessageBox::NoButton,
                        this);
        QPushButton *filtered = box.addButton(QStringLiteral("Jen hovory ve &filtru"), QMessageBox::AcceptRole);
        QPushButton *all = box.addButton(QStringLiteral("&Všechny hovory"), QMessageBox::AcceptRole);
        box.addButton(QStringLiteral("&Zrušit"), QMessageBox::RejectRole);
        box.setDefaultButton(filtered);
        box.exec();
        return box.clickedButton() == filtered ? 1 : box.clickedButton() == all ? 0 : -1;
    };
    AskNumber = [](QString &number) {
        return InputText(QStringLiteral("Vytočit číslo"), QStringLiteral("Telefonní číslo"), number);
    };
}

Tfmaintmb::~Tfmaintmb()
{
    // The call log may outlive the window: cut what it could still call.
    if (session)
        session->CallData().tb_audio->afterScroll = nullptr;
}

void Tfmaintmb::createMenus()
{
    auto phoneItem = [this](QMenu *menu, const char *caption, int tag) {
        QAction *item = menu->addAction(QString::fromUtf8(caption));
        item->setData(tag);
        connect(item, &QAction::triggered, this, guarded([this, item] { mm_holdClick(item); }));
        return item;
    };

    mm_file = menuBar()->addMenu(QStringLiteral("&Soubor"));
    mm_playrecording = mm_file->addAction(PlayIcon(), QStringLiteral("Přehrát nahrávku"));
    mm_saverecording = mm_file->addAction(SaveIcon(), QStringLiteral("Uložit nahrávku..."));
    mm_exportrecordings = mm_file->addAction(QStringLiteral("Hromadný export nahrávek..."));
    mm_fileseparator1 = mm_file->addSeparator();
    mm_settings = mm_file->addAction(QStringLiteral("Nastavení..."));
    mm_fileseparator2 = mm_file->addSeparator();
    mm_quit = mm_file->addAction(QStringLiteral("Ukončit aplikaci"));
    mm_quit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
    connect(mm_playrecording, &QAction::triggered, this, guarded([this] { btn_aud_playClick(); }));
    connect(mm_saverecording, &QAction::triggered, this, guarded([this] { btn_saveClick(); }));
    connect(mm_exportrecordings, &QAction::triggered, this, guarded([this] { mm_exportrecordingsClick(); }));
    connect(mm_settings, &QAction::triggered, this, guarded([this] { mm_settingsClick(); }));
    connect(mm_quit, &QAction::triggered, this, guarded([this] { pm_quitClick(); }));

    mm_statistics = menuBar()->addAction(QStringLiteral("St&atistiky"));
    connect(mm_statistics, &QAction::triggered, this, guarded([this] { mm_statisticsClick(); }));

    mm_phonebook = menuBar()->addAction(QStringLiteral("Telefonní se&znam"));
    connect(mm_phonebook, &QAction::triggered, this, guarded([this] { mm_phonebookClick(); }));

    mm_phone = menuBar()->addMenu(QStringLiteral("&Telefon"));
    mm_callnumber = phoneItem(mm_phone, "Vytočit číslo...", 1);
    mm_acceptcall = phoneItem(mm_phone, "Přijmout hovor", 2);
    mm_hangup = phoneItem(mm_phone, "Zavěsit", 3);

    mm_help = menuBar()->addMenu(QStringLiteral("&O aplikaci"));
    mm_about = mm_help->addAction(QStringLiteral("O aplikaci..."));
    connect(mm_about, &QAction::triggered, this, guarded([this] { mm_aboutClick(); }));

    pmcti = new QMenu(this);
    pm_callnumber = phoneItem(pmcti, "Vytočit číslo...", 1);
    pm_acceptcall = phoneItem(pmcti, "Přijmout hovor", 2);
    pm_hangup = phoneItem(pmcti, "Zavěsit", 3);
    pm_open = pmcti->addAction(QStringLiteral("Otevřít"));
    QFont bold = pm_open->font();
    bold.setBold(true);
    pm_open->setFont(bold); // the default item
    pm_separator = pmcti->addSeparator();
    pm_quit = pmcti->addAction(QStringLiteral("Ukončit"));
    connect(pm_open, &QAction::triggered, this, guarded([this] { pm_openClick(); }));
    connect(pm_quit, &QAction::triggered, this, guarded([this] { pm_quitClick(); }));
    connect(pmcti, &QMenu::aboutToShow, this, guarded([this] { pmctiPopup(); }));

    pmstatus = new QMenu(this);

    // Until the settings say otherwise the phone is not offered.
    ApplyCommandCalls(false);
    setPhoneItemsEnabled(false, false, false);
}

void Tfmaintmb::createGrid()
{
    frg_audio = new Tfrg(this);
    frg_audio->setObjectName(QStringLiteral("frg_audio"));
    frg_audio->nv->SetVisibleButtons(
        {TDBNavigator::nbFirst, TDBNavigator::nbPrior, TDBNavigator::nbNext, TDBNavigator::nbLast, TDBNavigator::nbDelete});
    frg_audio->spbfilter->setVisible(true);
    frg_audio->spboutput->setVisible(Tfrg::HasOutputFactory());
    connect(frg_audio->spbfilter, &QPushButton::clicked, this, guarded([this] { frg_audiospbfilterClick(true); }));

    frg_audio->gr->SetColumns({
        gridColumn("IDAUDIO", "ID", 46, true),
        gridColumn("IDBINDATA", "", 64, false),
        gridColumn("IDUSER", "", 64, false),
        gridColumn("CALLTYPE", "", 64, false),
        gridColumn("CALLTYPENAME", "Typ hovoru", 119, true),
        gridColumn("CALLLINK", "Linka", 42, true),
        gridColumn("WHENSTART", "Začátek hovoru", 114, true),
        gridColumn("WHENEND", "Konec hovoru", 115, true),
        gridColumn("WHENLENGTH", "Délka hovoru", 79, true),
        gridColumn("AUDIOTYPE", "", 64, false),
        gridColumn("AUDIOSIZE", "Velikost audia [B]", 64, false),
        gridColumn("AUDIOSIZEKB", "Velikost [kB]", 90, true),
        gridColumn("PHONENUMBER", "Telefonní číslo", 100, true),
        gridColumn("PHONENAME", "Jméno", 140, true),
    });
    TDBGridEx *grid = frg_audio->gr;
    grid->OnDrawColumnCell = [this, grid](QPainter *painter, const QRect &rect, int column, const QModelIndex &index,
                                          bool selected) {
        frg_audiogrDrawColumnCell(grid, painter, rect, column, index, selected);
    };

    // The record commands sit at the right end of the frame's button row.
    Panel1 = new QWidget(frg_audio->pan);
    auto *buttons = new QHBoxLayout(Panel1);
    buttons->setContentsMargins(0, 0, 4, 0);
    buttons->setSpacing(6);
    btn_aud_play = new QPushButton(PlayIcon(), QStringLiteral("&Přehrát nahrávku"), Panel1);
    btn_save = new QPushButton(SaveIcon(), QStringLiteral("&Uložit nahrávku"), Panel1);
    btn_aud_play->setMinimumWidth(113);
    btn_save->setMinimumWidth(107);
    for (QPushButton *button : {btn_aud_play, btn_save}) {
        button->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(button);
    }
    if (auto *row = qobject_cast<QHBoxLayout *>(frg_audio->pan->layout()))
        row->addWidget(Panel1);
    connect(btn_aud_play, &QPushButton::clicked, this, guarded([this] { btn_aud_playClick(); }));
    connect(btn_save, &QPushButton::clicked, this, guarded([this] { btn_saveClick(); }));
    btn_aud_play->setEnabled(false);
    btn_save->setEnabled(false);
    mm_playrecording->setEnabled(false);
    mm_saverecording->setEnabled(false);
    mm_exportrecordings->setEnabled(false);
}

void Tfmaintmb::createBottom()
{
    Panel3 = new QWidget(this);
    const int height = std::max(19, fontMetrics().height() + 6);
    Panel3->setFixedHeight(height);
    auto *row = new QHBoxLayout(Panel3);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    Panel2 = new QWidget(Panel3);
    Panel2->setFixedWidth(160);
    auto *stack = new QStackedLayout(Panel2);
    stack->setStackingMode(QStackedLayout::StackAll);
    auto *bars = new QWidget(Panel2);
    auto *barsLayout = new QVBoxLayout(bars);
    barsLayout->setContentsMargins(1, 1, 2, 1);
    barsLayout->setSpacing(1);
    auto makeGauge = [bars, barsLayout] {
        auto *gauge = new QProgressBar(bars);
        gauge->setRange(0, kGaugeMax);
        gauge->setValue(0);
        gauge->setTextVisible(false);
        gauge->setFixedSize(157, 8);
        gauge->setStyleSheet(QStringLiteral("QProgressBar { border: 1px solid #808080; background: #f0f0f0; }"
                                            "QProgressBar::chunk { background: #00b000; }"));
        barsLayout->addWidget(gauge);
        return gauge;
    };
    gaugeleft = makeGauge();
    gaugeright = makeGauge();
    barsLayout->addStretch(1);
    stbleft = new TStatusPanels({158, 50}, Panel2);
    stbleft->setAutoFillBackground(true);
    // The bar is 160 pixels wide: the second panel would only lie over the line's name,
    // and the name's panel gives way to the bar's margins instead of running under them.
    stbleft->Panel(1)->hide();
    stbleft->Panel(0)->setMinimumWidth(0);
    stbleft->Panel(0)->setMaximumWidth(158);
    stack->addWidget(bars);
    stack->addWidget(stbleft);
    stack->setCurrentWidget(stbleft);
    row->addWidget(Panel2);

    stb = new TStatusPanels({190, 170, 50}, Panel3);
    stb->OnMouseDown = [this](Qt::MouseButton button, int x) { stbMouseDown(button, x); };
    // Messages and the active filter go beside the call state, never over it.
    stbinfo = new QLabel(stb);
    stbinfo->setTextFormat(Qt::PlainText);
    stbinfo->setObjectName(QStringLiteral("stbinfo"));
    stb->addWidget(stbinfo, 1);
    m_messageTimer = new QTimer(this);
    m_messageTimer->setSingleShot(true);
    m_messageTimer->setTimerType(Qt::PreciseTimer);
    connect(m_messageTimer, &QTimer::timeout, this, [this] { showFilterState(); });
    row->addWidget(stb, 1);
}

void Tfmaintmb::createTray()
{
    cti = new QSystemTrayIcon(this);
    cti->setIcon(ApplicationIcon());
    cti->setToolTip(windowTitle());
    cti->setContextMenu(pmcti);
    connect(cti, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        ctiActivated(reason);
    });
    SetTrayAvailable(QSystemTrayIcon::isSystemTrayAvailable());
}

void Tfmaintmb::ctiActivated(QSystemTrayIcon::ActivationReason reason)
{
    // A double click arrives after the click of its first press, which toggled the
    // window already: the double click itself always shows it.
    if (reason == QSystemTrayIcon::Trigger)
        pm_openClick();
    else if (reason == QSystemTrayIcon::DoubleClick)
        BringToFront();
}

void Tfmaintmb::SetTrayAvailable(bool available)
{
    m_trayAvailable = available;
    cti->setVisible(available);
}

// ---- Life cycle ---------------------------------------------------------------------------------------

void Tfmaintmb::ctiStartup()
{
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    if (!m_switches.StartHidden())
        show();
    else if (!m_trayAvailable)
        showMinimized(); // without a tray the window must stay reachable
}

bool Tfmaintmb::Startup()
{
    connect(session, &TSession::settingsApplied, this,
            [this](const TSettings &settings) { ApplyCommandCalls(settings.CommandCalls); });
    QString formatWarning;
    session->ApplyStartSettings(session->ReadSettings(&formatWarning));
    foptlist->LoadSettings();
    if (m_switches.startup)
        PauseMilliseconds(session->Settings().StartDelay * 1000 + 1);
    // Start-up warnings: the user sees them, and the program goes on.
    const auto startWarning = connect(session, &TSession::warning, this, [this](const QString &text) { ShowStartupError(text); });
    if (!formatWarning.isEmpty())
        ShowStartupError(formatWarning);
    QString error;
    const bool opened = session->OpenCallLog(error);
    disconnect(startWarning);
    connect(session, &TSession::warning, this, [this](const QString &text) { ShowErrorBalloon(text, 15); });
    if (!opened) {
        showPlain(QStringLiteral("Chyba - nelze otevřít datové úložiště. Program bude ukončen."));
        return false;
    }
    connect(session, &TSession::levelChanged, this, [this](TdeAudioControlSource *source) { ShowLevel(source); });
    connect(session, &TSession::silenceFound, this,
            [this] { ShowErrorBalloon(QString::fromUtf8(kSilenceText), 15); });
    connect(session, &TSession::statusChanged, this,
            [this](int state, int callType, const QString &number, const QString &) {
                ShowStatus(state, callType, number);
            });
    connect(session, &TSession::watchFailed, this, [this](const QString &message) { ShowStartupError(message); });
    connect(session, &TSession::watchStopped, this, [this] { ClearLineStatus(); });
    // Old recordings removed on the user's schedule: the log has the line, the user the balloon.
    connect(session, &TSession::recordingsRemoved, this, [this](const QString &summary) { ShowInfoBalloon(summary, 15); });
    connect(session, &TSession::phonebookFailed, this, [this](const QString &message) {
        ShowErrorBalloon(QStringLiteral("Chyba - telefonní seznam nelze načíst: ") + message, 15);
    });
    connect(session, &TSession::namesChanged, this, [this] { showCallerNumber(); });

    frg_audio->InitFrame(session->CallData().ds_audio, nullptr, QString());
    session->CallData().tb_audio->afterScroll = [this](TMemTable &) { GridAfterScroll(); };
    // A new call or a filter changes the rows without moving the cursor.
    connect(session->CallData().tb_audio, &TMemTable::dataSetChanged, this, guarded([this] { GridAfterScroll(); }));
    if (frg_audio->DescendingAllowed())
        frg_audio->ditsestupn1->trigger();

    // The list starts unfiltered, with both dates at today and unticked.
    ffltaud->SetDates(TDateChoice{today(), false}, TDateChoice{today(), false});
    ffltaud->FromChecked = false;
    ffltaud->ToChecked = false;
    frg_audiospbfilterClick(false);
    fstattmb->SetDates(ffltaud->DateFrom(), ffltaud->DateTo());
    // Sorting kept the row that was current in the old order, the oldest call, now at
    // the bottom: start on the newest call at the top.
    if (session->CallData().tb_audio->active())
        session->CallData().tb_audio->first();

    GridAfterScroll();
    ShowStatus(0, 0, QString());
    QCoreApplication::postEvent(this, new QEvent(QEvent::Type(UM_AFTERSTART)));
    return true;
}

bool Tfmaintmb::event(QEvent *event)
{
    if (event->type() == QEvent::Type(UM_AFTERSTART)) {
        AfterStart();
        return true;
    }
    // Back from another window (the phonebook, say): names changed there show now.
    if (event->type() == QEvent::WindowActivate && session && session->CallData().tb_audio->active())
        session->RefreshNames();
    return QMainWindow::event(event);
}

void Tfmaintmb::AfterStart()
{
    if (!session->Audio().InputDeviceAvailable()) {
        WriteLogLine(QStringLiteral("Error - No input record device was found"));
        ShowStartupError(QString::fromUtf8(kNoRecorderText));
    }
    if (session->Settings().AutoStartWatch)
        StartWatch();
}

void Tfmaintmb::StartWatch()
{
    QCoreApplication::processEvents();
    WaitScope wait;
    session->StartWatch();
}

void Tfmaintmb::StopWatch()
{
    WaitScope wait;
    session->StopWatch();
}

void Tfmaintmb::ClearLineStatus()
{
    stbleft->SetPanelText(0, QStringLiteral(" Neaktivní TAPI"));
    pmstatus->clear();
    for (int i = 0; i < stb->PanelCount(); ++i)
        stb->SetPanelText(i, QString());
}

bool Tfmaintmb::Watching() const { return session && session->Watching(); }

void Tfmaintmb::ApplyCommandCalls(bool commandCalls)
{
    mm_phone->setEnabled(commandCalls);
    mm_phone->menuAction()->setEnabled(commandCalls);
    for (QAction *item : {pm_callnumber, pm_acceptcall, pm_hangup})
        item->setVisible(commandCalls);
}

void Tfmaintmb::mm_settingsClick()
{
    // OK hands the settings to the session, which applies them and reopens the line
    // where needed.
    foptlist->exec();
}

void Tfmaintmb::closeEvent(QCloseEvent *event)
{
    if (m_closing || m_switches.canclose) {
        FormClose();
        event->accept();
        return;
    }
    if (m_trayAvailable) {
        // Closing only puts the program away into the tray; it keeps watching.
        event->ignore();
        hide();
        return;
    }
    // Without a tray a hidden or minimised window may be out of reach on desktops
    // without a task bar: ask instead whether to end the program.
    if (!confirmQuit()) {
        event->ignore();
        return;
    }
    m_closing = true;
    FormClose();
    event->accept();
}

void Tfmaintmb::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_trayAvailable)
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
}

void Tfmaintmb::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    StopWatch();
    cti->hide();
    if (EndApplication)
        EndApplication();
}

void Tfmaintmb::CloseMainWindow()
{
    m_closing = true;
    close();
    // A window that was never shown may not see the close request.
    FormClose();
}

void Tfmaintmb::BringToFront()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void Tfmaintmb::pm_quitClick()
{
    if (m_switches.canclose) {
        CloseMainWindow();
        return;
    }
    if (confirmQuit())
        CloseMainWindow();
}

bool Tfmaintmb::confirmQuit()
{
    return ShowMessageBox(QStringLiteral("Opravdu ukončit aplikaci ") + ApplicationTitle() + QStringLiteral("?"),
                          mkConfirmation, mbOK | mbCancel)
        == mrOk;
}

// ---- Displays -------------------------------------------------------------------------------------------

void Tfmaintmb::ShowStatus(int state, int callType, const QString &number)
{
    pmstatus->clear();
    if (session && session->Tapi().Active) {
        const int n = session->Tapi().CallCount();
        stbleft->SetPanelText(0, QStringLiteral(" ") + session->Tapi().LineName);
        QString status = statusPrefix(n, state);
        if (n > 1) {
            try {
                for (int i = 0; i < n; ++i) {
                    const TCallRec *call = session->Tapi().CallAt(i);
                    pmstatus->addAction(QStringLiteral("Status[") + QString::number(i + 1) + QStringLiteral("]: ")
                                        + Tdmtapi::CallStateName(int(call->State), call->CallType)
                                        + QStringLiteral("  ") + call->Number);
                }
            } catch (...) {
                // A list that changed under us: what was built stays.
            }
        }
        status += Tdmtapi::CallStateName(state, callType);
        stb->SetPanelText(0, status);
        m_statusNumber = number;
        showCallerNumber();
        showRingBalloon(state, number);
        const DWORD s = DWORD(state);
        const bool single = n <= 1;
        setPhoneItemsEnabled(single && (s == LINECALLSTATE_IDLE || s == LINECALLSTATE_DIALTONE),
                             single && s == LINECALLSTATE_OFFERING,
                             single
                                 && (s == LINECALLSTATE_CONNECTED || s == LINECALLSTATE_RINGBACK
                                     || s == LINECALLSTATE_BUSY));
    } else {
        setPhoneItemsEnabled(false, false, false);
        stbleft->SetPanelText(0, QStringLiteral(" Neaktivní TAPI"));
        for (int i = 0; i < stb->PanelCount(); ++i)
            stb->SetPanelText(i, QString());
        m_statusNumber.clear();
        m_ringBalloon.clear();
    }
    if (state == -1)
        ShowErrorBalloon(QString::fromUtf8(kRestartFailedText), 15);
}

QString Tfmaintmb::NumberWithName(const QString &number, const QString &name)
{
    return name.isEmpty() || name == number ? number : number + QStringLiteral(" (") + name + QLatin1Char(')');
}

QString Tfmaintmb::CallerName(const QString &number) const
{
    if (!session || number.isEmpty())
        return QString();
    // The line's own name for a call still on it comes first when the phonebook has none.
    QString lineName;
    for (int i = 0; i < session->Tapi().CallCount(); ++i) {
        const TCallRec *call = session->Tapi().CallAt(i);
        if (call->Number == number && !call->Name.trimmed().isEmpty()) {
            lineName = call->Name.trimmed();
            break;
        }
    }
    return session->NameFor(number, lineName);
}

void Tfmaintmb::showCallerNumber()
{
    if (m_statusNumber.isEmpty()) {
        stb->SetPanelText(1, QString());
        stb->Panel(1)->setToolTip(QString());
        return;
    }
    const QString text = QStringLiteral(" Tel. číslo: ") + NumberWithName(m_statusNumber, CallerName(m_statusNumber));
    stb->SetPanelText(1, text);
    stb->Panel(1)->setToolTip(text.trimmed()); // a long name does not fit the panel
}

void Tfmaintmb::showRingBalloon(int state, const QString &number)
{
    if (DWORD(state) != LINECALLSTATE_OFFERING || number.isEmpty()) {
        if (DWORD(state) != LINECALLSTATE_OFFERING)
            m_ringBalloon.clear();
        return;
    }
    const QString text = Tdmtapi::CallStateName(state, ctIncoming) + QStringLiteral(": ")
        + NumberWithName(number, CallerName(number));
    if (text == m_ringBalloon)
        return; // every ring reports again; the balloon comes once per caller and name
    m_ringBalloon = text;
    if (m_trayAvailable && cti->isVisible())
        cti->showMessage(ApplicationTitle(), text, QSystemTrayIcon::Information, kRingBalloonSeconds * 1000);
}

void Tfmaintmb::setPhoneItemsEnabled(bool dial, bool answer, bool hangup)
{
    mm_callnumber->setEnabled(dial);
    pm_callnumber->setEnabled(dial);
    mm_acceptcall->setEnabled(answer);
    pm_acceptcall->setEnabled(answer);
    mm_hangup->setEnabled(hangup);
    pm_hangup->setEnabled(hangup);
}

void Tfmaintmb::stbMouseDown(Qt::MouseButton, int x)
{
    if (x <= stb->PanelWidth(0))
        pmstatus->popup(stb->mapToGlobal(QPoint(0, stb->height() + 1)));
}

void Tfmaintmb::ShowLevel(TdeAudioControlSource *source)
{
    if (!source || !source->AudioSource()) {
        stbleft->show();
        gaugeleft->setValue(0);
        gaugeright->setValue(0);
        return;
    }
    if (isVisible()) {
        stbleft->hide();
        gaugeleft->setValue(std::min(int(source->PeakLeft()) + kGaugeLift, kGaugeMax));
        gaugeright->setValue(std::min(int(source->PeakRight()) + kGaugeLift, kGaugeMax));
    }
}

bool Tfmaintmb::currentRecordHasAudio(int &id) const
{
    id = 0;
    if (!session || !session->CallData().tb_audio->active() || session->CallData().tb_audio->isEmpty())
        return false;
    TMemTable *table = session->CallData().tb_audio;
    id = table->fieldByName(QStringLiteral("IDAUDIO")).asInteger();
    return id != 0 && table->fieldByName(QStringLiteral("AUDIOSIZE")).asLargeInt() != 0;
}

void Tfmaintmb::GridAfterScroll()
{
    if (!session || !session->CallData().tb_audio->active())
        return;
    TMemTable *table = session->CallData().tb_audio;
    // A recording removed since (by hand, or by the retention of old recordings) is no
    // recording: the commands would only say so.
    bool audio = !table->isEmpty() && table->fieldByName(QStringLiteral("AUDIOSIZE")).asLargeInt() > 0;
    if (audio) {
        const int id = table->fieldByName(QStringLiteral("IDAUDIO")).asInteger();
        audio = id != 0 && QFileInfo(Tdmcd::RecordingFileName(id)).isFile();
    }
    for (QAction *item : {mm_playrecording, mm_saverecording})
        item->setEnabled(audio);
    btn_aud_play->setEnabled(audio);
    btn_save->setEnabled(audio);
    mm_exportrecordings->setEnabled(!table->isEmpty());
}

void Tfmaintmb::frg_audiogrDrawColumnCell(TDBGridEx *grid, QPainter *painter, const QRect &rect, int column,
                                          const QModelIndex &index, bool selected)
{
    TTableModel *model = grid ? grid->TableModel() : nullptr;
    if (!model || column < 0 || column >= grid->ColumnCount()
        || grid->Columns().at(size_t(column)).FieldName != QLatin1String("CALLTYPENAME"))
        return;
    TMemTable *table = model->table();
    TField *typeField = table ? table->findField(QStringLiteral("CALLTYPE")) : nullptr;
    const int record = model->recordOfRow(index.row());
    painter->save();
    painter->fillRect(rect, selected ? grid->palette().color(QPalette::Highlight) : grid->RowColor(index.row() + 1));
    painter->restore();
    const int icon = (typeField && record >= 0 && !typeField->isNullAt(record))
                         ? int(typeField->asLargeIntAt(record)) - 1
                         : -1;
    if (icon < 0)
        return; // no call type: the cell stays empty
    const int side = rect.height();
    if (icon < ImageList1.size())
        ImageList1.at(icon).paint(painter, QRect(rect.left() + 5, rect.top(), side, side));
    grid->DefaultDrawColumnCell(painter, rect.adjusted(side + 7, 0, 0, 0), index, selected);
}

// ---- Commands -------------------------------------------------------------------------------------------

void Tfmaintmb::btn_aud_playClick()
{
    int id = 0;
    if (currentRecordHasAudio(id))
        session->CallData().PlayRecording(id);
}

void Tfmaintmb::btn_saveClick()
{
    int id = 0;
    if (!currentRecordHasAudio(id))
        return;
    const QString target = AskSaveFileName();
    if (target.isEmpty())
        return;
    if (session->CallData().CopyRecording(id, target).isEmpty())
        ShowMessageBox(QStringLiteral("Audio soubor ID=") + QString::number(id)
                           + QStringLiteral(" nebyl v databázi nalezen."),
                       mkWarning, mbOK);
}

void Tfmaintmb::mm_exportrecordingsClick()
{
    if (!session || session->CallData().tb_audio->isEmpty())
        return;
    // A filtered list asks whether the filter holds for the export too.
    bool onlyFiltered = true;
    if (session->CallData().tb_audio->filtered()) {
        const int scope = AskExportScope();
        if (scope < 0)
            return;
        onlyFiltered = scope == 1;
    }
    const QString folder = AskExportFolder();
    if (!folder.isEmpty())
        session->CallData().ExportRecordings(folder, onlyFiltered);
}

void Tfmaintmb::frg_audiospbfilterClick(bool fromButton)
{
    session->CallData().FillCallTypes(ffltaud->ccb_calltype->Items());
    if (fromButton && ffltaud->exec() != QDialog::Accepted)
        return;
    frg_audio->spbfilter->setToolTip(ffltaud->FilterDescription());
    session->CallData().ApplyCallLogFilter(ffltaud->ccb_calltype->Items(), ffltaud->edlinkafrom->value(),
                             ffltaud->edlinkato->value(), ffltaud->DateFrom(), ffltaud->DateTo());
    // A filtered list says so where the eye goes, so that no call seems lost.
    QFont font = frg_audio->spbfilter->font();
    font.setBold(ffltaud->FilterActive());
    frg_audio->spbfilter->setFont(font);
    showFilterState();
}

void Tfmaintmb::mm_statisticsClick()
{
    TDBGridEx *grid = fstattmb->frg_stat->gr;
    grid->OnDrawColumnCell = [this, grid](QPainter *painter, const QRect &rect, int column, const QModelIndex &index,
                                          bool selected) {
        frg_audiogrDrawColumnCell(grid, painter, rect, column, index, selected);
    };
    fstattmb->exec();
}

void Tfmaintmb::mm_phonebookClick()
{
    if (!session)
        return;
    Tfphonebook window(session, this);
    window.exec();
    session->RefreshNames(); // the list shows the names as the window left them
    frg_audio->gr->viewport()->update();
}

void Tfmaintmb::mm_holdClick(QAction *sender)
{
    try {
        switch (sender ? sender->data().toInt() : 0) {
        case 1:
            if (AskNumber(LastNumber) && !LastNumber.isEmpty())
                session->Tapi().Dial(LastNumber);
            break;
        case 2:
            session->Tapi().Answer();
            break;
        case 3:
            session->Tapi().HangUp();
            break;
        default:
            break;
        }
    } catch (const std::exception &e) {
        showPlain(QStringLiteral("Operace neproběhla úspěšně - chyba:\r\n") + QString::fromUtf8(e.what()));
    }
}

void Tfmaintmb::mm_aboutClick() { ShowAbout(); }

void Tfmaintmb::pm_openClick()
{
    if (isVisible() && !isMinimized()) {
        if (m_trayAvailable)
            hide();
        else
            showMinimized();
    } else {
        BringToFront();
    }
}

void Tfmaintmb::pmctiPopup()
{
    pm_open->setText((isVisible() && !isMinimized() ? QStringLiteral("Schovat ") : QStringLiteral("Otevřít "))
                           + ApplicationTitle());
}

// ---- Tray ------------------------------------------------------------------------------------------------

void Tfmaintmb::ShowErrorBalloon(const QString &text, int seconds)
{
    showBalloon(text, seconds, QSystemTrayIcon::Critical, QStringLiteral("#c00000"));
}

void Tfmaintmb::ShowInfoBalloon(const QString &text, int seconds)
{
    showBalloon(text, seconds, QSystemTrayIcon::Information, QStringLiteral("#000080"));
}

void Tfmaintmb::showBalloon(const QString &text, int seconds, QSystemTrayIcon::MessageIcon icon, const QString &colour)
{
    if (m_trayAvailable && cti->isVisible()) {
        cti->showMessage(ApplicationTitle(), text, icon, seconds * 1000);
        return;
    }
    stbinfo->setStyleSheet(QStringLiteral("color: %1;").arg(colour));
    stbinfo->setText(text);
    stbinfo->setToolTip(text);
    m_messageTimer->start(seconds * 1000);
}

QString Tfmaintmb::StatusMessage() const { return m_messageTimer->isActive() ? stbinfo->text() : QString(); }

void Tfmaintmb::showFilterState()
{
    if (m_messageTimer->isActive())
        return; // a message is showing; the filter comes back after it
    const QString summary = ffltaud ? ffltaud->FilterSummary() : QString();
    stbinfo->setStyleSheet(summary.isEmpty() ? QString() : QStringLiteral("color: #000080; font-weight: bold;"));
    stbinfo->setText(summary.isEmpty() ? QString() : QStringLiteral("Filtr: ") + summary);
    stbinfo->setToolTip(summary.isEmpty() ? QString() : frg_audio->spbfilter->toolTip());
}

void Tfmaintmb::ShowStartupError(const QString &text)
{
    if (isVisible())
        showPlain(text);
    else
        ShowErrorBalloon(text, 60);
}
