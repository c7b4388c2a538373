#include "optlist.h"

#include "windowfont.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QPushButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "autostart.h"
#include "deAudioIO.h"
#include "formatchooser.h"
#include "lineconfig.h"
#include "myutils.h"
#include "session.h"
#include "trackbar.h"
#include "udmaudio.h"
#include "udmtapi.h"

namespace {

constexpr int kPeakScale = 32767;

QSpinBox *NewSpinEdit(QWidget *parent, int minimum, int maximum, int value)
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    spin->setMinimumWidth(60);
    return spin;
}

int FindTextIgnoringCase(const QComboBox *combo, const QString &text)
{
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

} // namespace

QString Tfoptlist::NoRecordingText() { return QStringLiteral("Nepoužívat nahrávání"); }

int Tfoptlist::PeakPercent(int value) { return int(qint64(value) * 100 / kPeakScale); }

Tfoptlist::Tfoptlist(TSession *session, QWidget *parent) : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("foptlist"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setModal(true);

    pgc = new QTabWidget(this);
    buildPageTapi();
    buildPageAudio();
    buildPageRules();

    btnok = new QPushButton(QStringLiteral("&OK"), this);
    btncancel = new QPushButton(QStringLiteral("&Zrušit"), this);
    btnok->setDefault(true);
    btnok->setAutoDefault(true);
    btncancel->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnok);
    buttons->addWidget(btncancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(pgc);
    layout->addLayout(buttons);
    setMinimumSize(312, 283);

    connect(btnok, &QPushButton::clicked, this, [this] { guarded([this] { btnokClick(); }); });
    connect(btncancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(chb_silencedetection, &QCheckBox::clicked, this, [this] { chb_silencedetectionClick(); });
    connect(chb_autostartwatch, &QCheckBox::clicked, this, [this] { chb_autostartwatchClick(); });
    connect(tb1, &QSlider::valueChanged, this, [this] { tbChange(tb1); });
    connect(tb2, &QSlider::valueChanged, this, [this] { tbChange(tb2); });
    connect(btnformat, &QPushButton::clicked, this, [this] { guarded([this] { btnformatClick(); }); });
    connect(btn_tapiconfig, &QPushButton::clicked, this, [this] { guarded([this] { btn_tapiconfigClick(); }); });
    connect(btn_rectest, &QPushButton::clicked, this, [this] { guarded([this] { btn_rectestClick(); }); });
    for (QRadioButton *choice : {rb_keepall, rb_keepdays, rb_keepsize})
        connect(choice, &QRadioButton::toggled, this, [this] { rb_keepClick(); });
    for (QSpinBox *spin : {spe_link, spe_maxaudio, spe_silenceseconds})
        spin->installEventFilter(this);

    FormCreate();
}

Tfoptlist::~Tfoptlist() { disconnect(m_levels); }

void Tfoptlist::buildPageTapi()
{
    TabSheet1 = new QWidget;
    pgc->addTab(TabSheet1, QStringLiteral("TAPI zařízení"));

    Label4 = new QLabel(QStringLiteral("Číslo linky"), TabSheet1);
    spe_link = NewSpinEdit(TabSheet1, 0, 9999, 0);
    Label6 = new QLabel(QStringLiteral("TAPI zařízení"), TabSheet1);
    cb_tapi = new QComboBox(TabSheet1);
    cb_tapi->setMinimumContentsLength(20);
    cb_tapi->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    chb_autostartwatch = new QCheckBox(QStringLiteral("Monitorovat zařízení"), TabSheet1);
    btn_tapiconfig = new QPushButton(QStringLiteral("&Nastavení zařízení..."), TabSheet1);
    chb_tapiautocheck = new QCheckBox(QStringLiteral("Kontrolovat a obnovovat připojení k zařízení"), TabSheet1);
    chb_missedcalls = new QCheckBox(QStringLiteral("Evidovat také nepřijaté a neuskutečněné hovory"), TabSheet1);
    chb_commandcalls = new QCheckBox(QStringLiteral("Používat funkce pro ovládání telefonu"), TabSheet1);
    Bevel2 = new QFrame(TabSheet1);
    Bevel2->setFrameShape(QFrame::HLine);
    Bevel2->setFrameShadow(QFrame::Sunken);
    chb_winstart = new QCheckBox(QStringLiteral("Automaticky spouštět po přihlášení uživatele"), TabSheet1);
    Label4->setBuddy(spe_link);
    Label6->setBuddy(cb_tapi);

    auto *link = new QHBoxLayout;
    link->addWidget(Label4);
    link->addWidget(spe_link);
    link->addStretch(1);
    auto *watch = new QHBoxLayout;
    watch->addWidget(chb_autostartwatch);
    watch->addStretch(1);
    watch->addWidget(btn_tapiconfig);
    auto *dependent = new QVBoxLayout;
    dependent->setContentsMargins(16, 0, 0, 0);
    dependent->addWidget(chb_tapiautocheck);
    dependent->addWidget(chb_missedcalls);
    dependent->addWidget(chb_commandcalls);

    auto *page = new QVBoxLayout(TabSheet1);
    page->addLayout(link);
    page->addSpacing(4);
    page->addWidget(Label6);
    page->addWidget(cb_tapi);
    page->addSpacing(4);
    page->addLayout(watch);
    page->addLayout(dependent);
    page->addSpacing(4);
    page->addWidget(Bevel2);
    page->addWidget(chb_winstart);
    page->addStretch(1);
}

void Tfoptlist::buildPageAudio()
{
    TabSheet2 = new QWidget;
    pgc->addTab(TabSheet2, QStringLiteral("Audio nahrávání"));

    Label3 = new QLabel(QStringLiteral("Nahrávací audio vstup"), TabSheet2);
    cb_audio = new QComboBox(TabSheet2);
    cb_audio->setMinimumContentsLength(20);
    cb_audio->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Label3->setBuddy(cb_audio);

    GroupBox2 = new QGroupBox(QStringLiteral("Formát nahrávek"), TabSheet2);
    Label2 = new QLabel(GroupBox2);
    Label2->setWordWrap(true);
    Label2->setMinimumHeight(Label2->fontMetrics().lineSpacing() * 2);
    btnformat = new QPushButton(QStringLiteral("Změ&nit"), GroupBox2);
    auto *format = new QHBoxLayout(GroupBox2);
    format->addWidget(Label2, 1);
    format->addWidget(btnformat, 0, Qt::AlignVCenter);

    chb_silencedetection = new QCheckBox(QStringLiteral("Detekovat ticho v nahrávkách"), TabSheet2);
    btn_rectest = new QPushButton(QStringLiteral("&Monitor zvuku"), TabSheet2);
    lb_silencelevel = new QLabel(QStringLiteral("99"), TabSheet2);
    lb_silencelevel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lb_silencelevel->setMinimumWidth(lb_silencelevel->fontMetrics().horizontalAdvance(QStringLiteral("100")) + 2);
    tb1 = new TTrackBar(TabSheet2);
    tb2 = new TTrackBar(TabSheet2);
    for (TTrackBar *tb : {tb1, tb2}) {
        tb->setRange(0, kPeakScale);
        tb->SetThumbLength(16);
        tb->setSingleStep(328);
        tb->setPageStep(3277);
    }
    lb_peakleft = new QLabel(QStringLiteral("0"), TabSheet2);
    lb_peakright = new QLabel(QStringLiteral("0"), TabSheet2);
    for (QLabel *label : {lb_peakleft, lb_peakright})
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("100")) + 2);

    Label7 = new QLabel(QStringLiteral("Min. délka ticha"), TabSheet2);
    spe_silenceseconds = NewSpinEdit(TabSheet2, 1, 999, 1);
    Label8 = new QLabel(QStringLiteral("sekund"), TabSheet2);
    Label1 = new QLabel(QStringLiteral("Max. délka nahrávky"), TabSheet2);
    spe_maxaudio = NewSpinEdit(TabSheet2, 1, 999, 1);
    Label5 = new QLabel(QStringLiteral("minut"), TabSheet2);
    Label7->setBuddy(spe_silenceseconds);
    Label1->setBuddy(spe_maxaudio);

    auto *silence = new QHBoxLayout;
    silence->addWidget(chb_silencedetection);
    silence->addStretch(1);
    silence->addWidget(btn_rectest);
    auto *bars = new QGridLayout;
    bars->setVerticalSpacing(0);
    bars->addWidget(lb_silencelevel, 0, 0, 2, 1);
    bars->addWidget(tb1, 0, 1);
    bars->addWidget(lb_peakleft, 0, 2);
    bars->addWidget(tb2, 1, 1);
    bars->addWidget(lb_peakright, 1, 2);
    bars->setColumnStretch(1, 1);
    auto *lengths = new QGridLayout;
    lengths->addWidget(Label7, 0, 0);
    lengths->addWidget(spe_silenceseconds, 0, 1);
    lengths->addWidget(Label8, 0, 2);
    lengths->addWidget(Label1, 1, 0);
    lengths->addWidget(spe_maxaudio, 1, 1);
    lengths->addWidget(Label5, 1, 2);
    lengths->setColumnStretch(3, 1);

    auto *page = new QVBoxLayout(TabSheet2);
    page->addWidget(Label3);
    page->addWidget(cb_audio);
    page->addWidget(GroupBox2);
    page->addLayout(silence);
    page->addLayout(bars);
    page->addLayout(lengths);
    page->addStretch(1);
}

void Tfoptlist::buildPageRules()
{
    TabSheet3 = new QWidget;
    pgc->addTab(TabSheet3, QStringLiteral("Pravidla"));

    GroupBox3 = new QGroupBox(QStringLiteral("Které hovory nahrávat"), TabSheet3);
    rb_recordall = new QRadioButton(QStringLiteral("Nahrávat všechny hovory"), GroupBox3);
    rb_recordmarked = new QRadioButton(QStringLiteral("Jen čísla označená k nahrávání"), GroupBox3);
    rb_recordnotprivate = new QRadioButton(QStringLiteral("Všechny kromě soukromých čísel"), GroupBox3);
    rb_recordmarked->setToolTip(QStringLiteral("Nahrávají se jen hovory s čísly, která mají v telefonním seznamu značku \"nahrávat\"."));
    rb_recordnotprivate->setToolTip(QStringLiteral("Hovory s čísly, která mají v telefonním seznamu značku \"soukromé\", se nikdy nenahrávají."));
    auto *rules = new QButtonGroup(GroupBox3);
    for (QRadioButton *choice : {rb_recordall, rb_recordmarked, rb_recordnotprivate})
        rules->addButton(choice);
    auto *record = new QVBoxLayout(GroupBox3);
    record->setSpacing(2);
    record->addWidget(rb_recordall);
    record->addWidget(rb_recordmarked);
    record->addWidget(rb_recordnotprivate);

    Label9 = new QLabel(QStringLiteral("Předvolba země"), TabSheet3);
    ed_countryprefix = new QLineEdit(TabSheet3);
    ed_countryprefix->setMaxLength(10);
    ed_countryprefix->setMaximumWidth(60);
    Label10 = new QLabel(QStringLiteral("(např. 420, prázdné = žádná)"), TabSheet3);
    Label9->setBuddy(ed_countryprefix);
    ed_countryprefix->setToolTip(QStringLiteral("Mezinárodní předvolba vaší země, např. 420: čísla +420 603 123 456 "
                                                "a 603 123 456 se pak v telefonním seznamu najdou jako jedno."));

    GroupBox4 = new QGroupBox(QStringLiteral("Staré nahrávky"), TabSheet3);
    rb_keepall = new QRadioButton(QStringLiteral("Nemazat"), GroupBox4);
    rb_keepdays = new QRadioButton(QStringLiteral("Mazat starší než"), GroupBox4);
    spe_keepdays = NewSpinEdit(GroupBox4, 1, 36500, 90);
    Label11 = new QLabel(QStringLiteral("dní"), GroupBox4);
    rb_keepsize = new QRadioButton(QStringLiteral("Ponechat nejvýše"), GroupBox4);
    spe_keepgb = NewSpinEdit(GroupBox4, 1, 100000, 5);
    Label12 = new QLabel(QStringLiteral("GB (nejstarší se mažou)"), GroupBox4);
    chb_keeprows = new QCheckBox(QStringLiteral("Mazat i záznamy těchto hovorů"), GroupBox4);
    auto *keeping = new QButtonGroup(GroupBox4);
    for (QRadioButton *choice : {rb_keepall, rb_keepdays, rb_keepsize})
        keeping->addButton(choice);
    auto *keep = new QGridLayout(GroupBox4);
    keep->setVerticalSpacing(2);
    keep->addWidget(rb_keepall, 0, 0, 1, 3);
    keep->addWidget(rb_keepdays, 1, 0);
    keep->addWidget(spe_keepdays, 1, 1);
    keep->addWidget(Label11, 1, 2);
    keep->addWidget(rb_keepsize, 2, 0);
    keep->addWidget(spe_keepgb, 2, 1);
    keep->addWidget(Label12, 2, 2);
    keep->addWidget(chb_keeprows, 3, 0, 1, 3);
    keep->setColumnStretch(2, 1);

    auto *prefix = new QHBoxLayout;
    prefix->addWidget(Label9);
    prefix->addWidget(ed_countryprefix);
    prefix->addWidget(Label10, 1);
    auto *page = new QVBoxLayout(TabSheet3);
    page->addWidget(GroupBox3);
    page->addLayout(prefix);
    page->addWidget(GroupBox4);
    page->addStretch(1);
}

void Tfoptlist::guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const Exception &e) {
        ShowMessageBox(e.message(), mkError, mbOK);
    } catch (const std::exception &e) {
        ShowMessageBox(QString::fromLocal8Bit(e.what()), mkError, mbOK);
    }
}

int Tfoptlist::selectedAudioDevice() const
{
    return cb_audio->currentIndex() < 0 ? kNoRecording : cb_audio->currentData().toInt();
}

// ---- Creation and settings --------------------------------------------------------------

void Tfoptlist::FormCreate()
{
    setWindowTitle(ApplicationTitle() + QStringLiteral(" - Nastavení"));
    pgc->setCurrentIndex(0);
    InstallFormatChooserWindow();
    InstallLineConfigWindow();

    cb_audio->clear();
    cb_audio->addItem(NoRecordingText(), kNoRecording);
    for (int i = 0; i < InputDeviceCount(); ++i) {
        const TdeAudioInDevice *device = InputDevice(i);
        cb_audio->addItem(device->Name, int(device->DeviceID));
    }

    try {
        TDeviceList devices;
        m_session->Tapi().ListDevices(devices);
        for (const auto &device : devices)
            cb_tapi->addItem(device.first, device.second);
    } catch (const std::exception &) {
        // No line service: the list stays empty and no line can be chosen.
    }
}

void Tfoptlist::LoadSettings()
{
    const TSettings &s = m_session->Settings();
    chb_autostartwatch->setChecked(s.AutoStartWatch);
    chb_tapiautocheck->setChecked(s.TAPIAutoCheck);
    chb_commandcalls->setChecked(s.CommandCalls);
    chb_missedcalls->setChecked(s.MissedCalls);
    spe_link->setValue(s.CallLink);
    spe_maxaudio->setValue(s.MaxRecordMinutes); // the range shows at least 1
    chb_silencedetection->setChecked(s.SilenceDetection);
    spe_silenceseconds->setValue(s.SilenceMaxSeconds);
    tb1->setValue(s.SilencePeakLevel);
    tbChange(tb1);

    cb_tapi->setCurrentIndex(FindTextIgnoringCase(cb_tapi, s.TAPIDevice));
    int audioIndex = FindTextIgnoringCase(cb_audio, s.AudioInputDevice);
    if (audioIndex < 0)
        audioIndex = 0; // "Nepoužívat nahrávání"
    cb_audio->setCurrentIndex(audioIndex);

    RecordFormat = s.RecordFormat;
    Label2->setText(RecordFormat.Description());

    switch (s.RecordRule) {
    case TSettings::RecordMarkedOnly:
        rb_recordmarked->setChecked(true);
        break;
    case TSettings::RecordAllButPrivate:
        rb_recordnotprivate->setChecked(true);
        break;
    default:
        rb_recordall->setChecked(true);
        break;
    }
    ed_countryprefix->setText(s.CountryPrefix);
    spe_keepdays->setValue(s.Retention.days);
    spe_keepgb->setValue(int(s.Retention.maxGigabytes));
    chb_keeprows->setChecked(s.Retention.deleteRows);
    (s.Retention.mode == TRetention::ByAge    ? rb_keepdays
     : s.Retention.mode == TRetention::BySize ? rb_keepsize
                                              : rb_keepall)
        ->setChecked(true);
    rb_keepClick();
}

// ---- Showing and closing -------------------------------------------------------------------

void Tfoptlist::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void Tfoptlist::FormShow()
{
    // No control has the focus at first: Enter and Esc belong to the dialog.
    QTimer::singleShot(0, this, [this] {
        if (QWidget *focused = focusWidget())
            focused->clearFocus();
    });
    spe_maxaudio->setEnabled(true);

    FormatChanged = false;
    MonitorStarted = false;
    ShownDeviceID = m_session->Audio().Recorder().DeviceID();
    ShownDeviceName = m_session->Audio().Recorder().DeviceName();

    disconnect(m_levels);
    m_levels = connect(m_session, &TSession::levelChanged, this,
                       [this](TdeAudioControlSource *sender) { LevelChanged(sender); });
    LevelChanged(nullptr);

    chb_silencedetectionClick();
    chb_winstart->setChecked(AutoStartEnabled());
    if (!ShownAlone)
        chb_autostartwatchClick();
}

void Tfoptlist::done(int result)
{
    if (m_closing)
        return;
    m_closing = true;
    FormClose(result);
    m_closing = false;
    QDialog::done(result);
}

void Tfoptlist::FormClose(int result)
{
    disconnect(m_levels);
    if (result == QDialog::Accepted)
        return;
    guarded([this] {
        if (MonitorStarted && m_session->Audio().Recorder().IsActive())
            switchMonitorOff();
    });
    guarded([this] { LoadSettings(); });
    if (MonitorStarted)
        m_session->Audio().SetRecordingEnabled(selectedAudioDevice() != kNoRecording);
}

bool Tfoptlist::eventFilter(QObject *watched, QEvent *event)
{
    // The spin edits take Esc themselves and cancel the dialog with it.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && (watched == spe_link || watched == spe_maxaudio || watched == spe_silenceseconds)) {
        reject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ---- Levels and enabling -------------------------------------------------------------------

void Tfoptlist::LevelChanged(TdeAudioControlSource *sender)
{
    TdeAudioControlSource *source = m_session->Audio().Recorder().LevelSource();
    if (sender && source && source->AudioSource()) {
        tb1->SetSelEnd(source->PeakLeft());
        tb2->SetSelEnd(source->PeakRight());
    } else {
        tb1->SetSelEnd(0);
        tb2->SetSelEnd(0);
    }
    lb_peakleft->setText(QString::number(PeakPercent(tb1->SelEnd())));
    lb_peakright->setText(QString::number(PeakPercent(tb2->SelEnd())));
}

void Tfoptlist::chb_silencedetectionClick()
{
    const bool on = chb_silencedetection->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{tb1, tb2, lb_silencelevel, lb_peakleft, lb_peakright,
                                                        spe_silenceseconds, Label7, Label8})
        w->setEnabled(on);
}

void Tfoptlist::chb_autostartwatchClick()
{
    const bool on = chb_autostartwatch->isChecked();
    for (QCheckBox *c : {chb_tapiautocheck, chb_missedcalls, chb_commandcalls})
        c->setEnabled(on);
}

void Tfoptlist::rb_keepClick()
{
    spe_keepdays->setEnabled(rb_keepdays->isChecked());
    Label11->setEnabled(rb_keepdays->isChecked());
    spe_keepgb->setEnabled(rb_keepsize->isChecked());
    Label12->setEnabled(rb_keepsize->isChecked());
    chb_keeprows->setEnabled(!rb_keepall->isChecked());
}

QString Tfoptlist::CountryPrefix() const
{
    QString text = ed_countryprefix->text().simplified();
    text.remove(QLatin1Char(' '));
    const bool written = !text.isEmpty();
    // Written as it is dialled from abroad: "+420" or "00420" mean 420.
    if (text.startsWith(QLatin1Char('+')))
        text.remove(0, 1);
    else if (text.startsWith(QStringLiteral("00")))
        text.remove(0, 2);
    static const QRegularExpression code(QStringLiteral("^[1-9][0-9]{0,2}$"));
    if (written && !code.match(text).hasMatch())
        throw Exception(QStringLiteral("Předvolba země \"%1\" není platná. Zadejte mezinárodní předvolbu "
                                       "vaší země (1 až 3 číslice, např. 420), nebo pole nechte prázdné.")
                            .arg(ed_countryprefix->text()));
    return text;
}

void Tfoptlist::tbChange(TTrackBar *sender)
{
    if (m_syncingTrackBars)
        return;
    m_syncingTrackBars = true;
    TTrackBar *other = sender == tb1 ? tb2 : tb1;
    other->setValue(sender->value());
    m_syncingTrackBars = false;
    lb_silencelevel->setText(QString::number(PeakPercent(tb1->value())));
}

// ---- Buttons ---------------------------------------------------------------------------------

void Tfoptlist::btnformatClick()
{
    if (!RecordFormat.ChooseFormat(QStringLiteral("Formát výstupu audia")))
        return;
    const QString description = RecordFormat.Description();
    if (description != Label2->text())
        FormatChanged = true;
    Label2->setText(description);
}

void Tfoptlist::btn_tapiconfigClick()
{
    if (cb_tapi->currentIndex() < 0)
        throw Exception(QStringLiteral("Žádné TAPI zařízení není vybráno"));
    m_session->Tapi().ConfigDialog(DWORD(cb_tapi->currentData().toInt()), static_cast<QWidget *>(this));
}

void Tfoptlist::switchMonitorOff()
{
    Taudiorec &recorder = m_session->Audio().Recorder();
    m_session->Audio().StopRecording();
    recorder.SetRecordFormat(m_session->Settings().RecordFormat);
    if (recorder.DeviceID() != ShownDeviceID) {
        recorder.SetDeviceName(ShownDeviceName);
        recorder.SetDeviceID(int8_t(ShownDeviceID));
    }
}

void Tfoptlist::btn_rectestClick()
{
    Tdmaudio &audio = m_session->Audio();
    Taudiorec &recorder = audio.Recorder();
    // A call being recorded is never interrupted by the monitor.
    if (!MonitorStarted && recorder.IsActive())
        return;
    MonitorStarted = true;
    if (recorder.IsActive()) {
        switchMonitorOff();
        return;
    }
    const int device = selectedAudioDevice();
    if (device == kNoRecording)
        return;
    recorder.SetDeviceName(cb_audio->currentText());
    recorder.SetDeviceID(int8_t(device));
    recorder.SetRecordFormat(RecordFormat);
    audio.SetRecordingEnabled(true);
    audio.StartRecording(QString());
}

void Tfoptlist::btnokClick()
{
    // A value the settings cannot take stops the OK before anything is changed.
    const QString countryPrefix = CountryPrefix();
    if (!spe_keepdays->hasAcceptableInput() || !spe_keepgb->hasAcceptableInput())
        throw Exception(QStringLiteral("Zadejte počet dní (1 až 36500) a velikost v GB (1 až 100000) pro mazání starých nahrávek."));
    TRetention retention;
    retention.mode = rb_keepdays->isChecked() ? TRetention::ByAge
                     : rb_keepsize->isChecked() ? TRetention::BySize
                                                : TRetention::Off;
    retention.days = spe_keepdays->value();
    retention.maxGigabytes = spe_keepgb->value();
    retention.deleteRows = chb_keeprows->isChecked();
    // Removing is for good and starts as soon as the choice is stored: a new one is confirmed.
    if (retention.mode != TRetention::Off && !(retention == m_session->Settings().Retention)) {
        const QString what = retention.mode == TRetention::ByAge
            ? QStringLiteral("Nahrávky hovorů starších než %1 dní").arg(retention.days)
            : QStringLiteral("Nejstarší nahrávky nad celkovou velikost %1 GB").arg(spe_keepgb->value());
        const QString rows = retention.deleteRows ? QStringLiteral(" i se záznamy hovorů") : QString();
        if (ShowMessageBox(what + rows + QStringLiteral(" se smažou hned po uložení nastavení a potom jednou denně. Pokračovat?"),
                           mkConfirmation, mbYes | mbNo)
            != mrYes)
            return;
    }

    Tdmaudio &audio = m_session->Audio();
    if (MonitorStarted && audio.Recorder().IsActive())
        audio.StopRecording();

    TSettings s = m_session->Settings();
    s.TAPIDevice = cb_tapi->currentIndex() >= 0 ? cb_tapi->currentText() : QString();
    s.AudioInputDevice = cb_audio->currentText();
    s.AutoStartWatch = chb_autostartwatch->isChecked();
    s.TAPIAutoCheck = chb_tapiautocheck->isChecked();
    s.CommandCalls = chb_commandcalls->isChecked();
    s.MissedCalls = chb_missedcalls->isChecked();
    s.CallLink = spe_link->value();
    s.MaxRecordMinutes = uint16_t(spe_maxaudio->value());
    s.SilenceDetection = chb_silencedetection->isChecked();
    s.SilenceMaxSeconds = uint16_t(spe_silenceseconds->value());
    s.SilencePeakLevel = uint16_t(tb1->value());
    if (FormatChanged)
        s.RecordFormat = RecordFormat;
    s.RecordRule = rb_recordmarked->isChecked()       ? TSettings::RecordMarkedOnly
                   : rb_recordnotprivate->isChecked() ? TSettings::RecordAllButPrivate
                                                      : TSettings::RecordEveryCall;
    s.CountryPrefix = countryPrefix;
    s.Retention = retention;
    m_session->ChangeSettings(s);

    SetAutoStart(chb_winstart->isChecked());
    accept();
}
