#include "dboutput.h"

#include "exception.h"
#include "filechooser.h"
#include "inputex.h"
#include "lcscommon.h"
#include "memtable.h"
#include "myutils.h"
#include "outputtemplates.h"
#include "outputwindows.h"
#include "outputwriters.h"
#include "progress.h"
#include "reportwindowswidget.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int kColumnRole = Qt::UserRole + 1;
constexpr int kPmsFixedItems = 3;
constexpr int kFrameMenuFixedItems = 2;
const QString kTmoFilter = QStringLiteral("*.tmo|*.tmo|*.*|*.*");

QGroupBox *radioGroup(const QString &title, const QStringList &items, QButtonGroup *&buttons, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    auto *layout = new QVBoxLayout(box);
    buttons = new QButtonGroup(box);
    for (int i = 0; i < items.size(); ++i) {
        auto *radio = new QRadioButton(items[i], box);
        buttons->addButton(radio, i);
        layout->addWidget(radio);
    }
    return box;
}

QToolButton *listButton(const QString &glyph, const QString &hint, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setText(glyph);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    return b;
}

// The progress window of the export, standing for the active window.
class TOutputWindowsWidget : public IOutputWindows {
public:
    void ProgressShow(const QString &caption, const QString &message) override
    {
        ProgressClose();
        m_window = ProgressShow_(caption, message);
    }
    void ProgressMessage(const QString &message) override
    {
        if (m_window) {
            ::ProgressMessage(m_window, message);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
    }
    void ProgressClose() override
    {
        if (m_window)
            ::ProgressClose(m_window);
    }
    void ProcessEvents() override { QCoreApplication::processEvents(); }
    bool OpenResult(const QString &fileName) override { return OpenDocument(fileName); }

private:
    static Tfprogress *ProgressShow_(const QString &caption, const QString &message)
    {
        return ::ProgressShow(caption, message, 0);
    }
    Tfprogress *m_window = nullptr;
};
} // namespace

Tfdboutput::Tfdboutput(QWidget *parent) : QDialog(parent)
{
    // FormCreate: every caption from the common texts.
    setWindowTitle(CommonText(30));
    GroupBox1 = new QGroupBox(CommonText(31), this);
    chlb = new QListWidget(GroupBox1);
    spbcheckall = listButton(QStringLiteral("☑"), CommonText(35), GroupBox1);
    spbunchall = listButton(QStringLiteral("☐"), CommonText(36), GroupBox1);
    spbup = listButton(QStringLiteral("▲"), CommonText(37), GroupBox1);
    spbdn = listButton(QStringLiteral("▼"), CommonText(38), GroupBox1);
    auto *listButtons = new QVBoxLayout;
    for (QToolButton *b : {spbcheckall, spbunchall, spbup, spbdn})
        listButtons->addWidget(b);
    listButtons->addStretch(1);
    auto *g1 = new QHBoxLayout(GroupBox1);
    g1->addWidget(chlb, 1);
    g1->addLayout(listButtons);

    GroupBox2 = new QGroupBox(CommonText(32), this);
    chbsum = new QCheckBox(CommonText(33), GroupBox2);
    chbsum->setEnabled(false);
    (new QVBoxLayout(GroupBox2))->addWidget(chbsum);

    GroupBox5 = new QGroupBox(CommonText(34), this);
    spbtempl_choose = listButton(QStringLiteral("▾"), CommonText(39), GroupBox5);
    spbtempl_save = listButton(QStringLiteral("💾"), CommonText(40), GroupBox5);
    spbtempl_delete = listButton(QStringLiteral("✗"), CommonText(41), GroupBox5);
    // Pictures from the style: not every desktop has a font with the symbols.
    spbtempl_choose->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    spbtempl_save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    spbtempl_delete->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    for (QToolButton *b : {spbtempl_choose, spbtempl_save, spbtempl_delete})
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    labtempl = new QLabel(GroupBox5);
    auto *g5 = new QHBoxLayout(GroupBox5);
    for (QToolButton *b : {spbtempl_choose, spbtempl_save, spbtempl_delete})
        g5->addWidget(b);
    g5->addWidget(labtempl, 1);
    GroupBox5->installEventFilter(this);

    QStringList types, orientations;
    CommonTextToList(47, types);
    CommonTextToList(54, orientations);
    rgtype = radioGroup(CommonText(46), types, rgtypeButtons, this);
    GroupBox4 = new QGroupBox(CommonText(48), this);
    Pantisk = new QWidget(GroupBox4);
    labtitle = new QLabel(CommonText(56), Pantisk);
    edtitle = new QLineEdit(Pantisk);
    chbtimestamp = new QCheckBox(CommonText(50), Pantisk);
    chbfilter = new QCheckBox(CommonText(51), Pantisk);
    chbreccount = new QCheckBox(CommonText(52), Pantisk);
    rgori = radioGroup(CommonText(53), orientations, rgoriButtons, Pantisk);
    auto *pt = new QVBoxLayout(Pantisk);
    pt->setContentsMargins(0, 0, 0, 0);
    pt->addWidget(labtitle);
    pt->addWidget(edtitle);
    for (QWidget *w : {static_cast<QWidget *>(chbtimestamp), static_cast<QWidget *>(chbfilter),
                       static_cast<QWidget *>(chbreccount), static_cast<QWidget *>(rgori)})
        pt->addWidget(w);
    chbexpheader = new QCheckBox(CommonText(49), GroupBox4);
    auto *g4 = new QVBoxLayout(GroupBox4);
    g4->addWidget(Pantisk);
    g4->addWidget(chbexpheader);
    g4->addStretch(1);

    Button1 = new QPushButton(CommonText(55), this);
    Button1->setDefault(true);
    Button2 = new QPushButton(CommonText(15), this);

    auto *left = new QVBoxLayout;
    left->addWidget(GroupBox1, 1);
    left->addWidget(GroupBox2);
    left->addWidget(GroupBox5);
    auto *right = new QVBoxLayout;
    right->addWidget(rgtype);
    right->addWidget(GroupBox4, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    pms = new QMenu(this);
    N1 = pms->addSeparator();
    Exportovatablonu1 = pms->addAction(CommonText(144) + QStringLiteral("..."));
    Importovatablonu1 = pms->addAction(CommonText(143) + QStringLiteral("..."));

    // Defaults.
    SetOutputType(0);
    SetOrientation(0);
    for (QCheckBox *c : {chbtimestamp, chbfilter, chbreccount, chbexpheader})
        c->setChecked(true);
    chbfilter->setEnabled(false);
    rgtypeClick();

    connect(Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(rgtypeButtons, &QButtonGroup::idClicked, this, [this] { rgtypeClick(); });
    connect(chlb, &QListWidget::currentRowChanged, this, [this] { chlbClick(); });
    connect(spbcheckall, &QToolButton::clicked, this, [this] { spbcheckallClick(true); });
    connect(spbunchall, &QToolButton::clicked, this, [this] { spbcheckallClick(false); });
    connect(spbup, &QToolButton::clicked, this, [this] { spbupClick(); });
    connect(spbdn, &QToolButton::clicked, this, [this] { spbdnClick(); });
    connect(chbsum, &QCheckBox::clicked, this, [this] { chbsumClick(); });
    connect(spbtempl_choose, &QToolButton::clicked, this, [this] { spbtempl_chooseClick(); });
    connect(spbtempl_save, &QToolButton::clicked, this, [this] { guarded([this] { spbtempl_saveClick(); }); });
    connect(spbtempl_delete, &QToolButton::clicked, this, [this] { guarded([this] { spbtempl_deleteClick(); }); });
    connect(Exportovatablonu1, &QAction::triggered, this, [this] { guarded([this] { Exportovatablonu1Click(); }); });
    connect(Importovatablonu1, &QAction::triggered, this, [this] { guarded([this] { Importovatablonu1Click(); }); });
    resize(640, 480);
}

Tfdboutput::~Tfdboutput()
{
    if (!m_frameMenu)
        return;
    const QList<QAction *> actions = m_frameMenu->actions();
    for (qsizetype i = 0; i + kFrameMenuFixedItems < actions.size(); ++i)
        delete actions[i];
}

void Tfdboutput::guarded(const std::function<void()> &work)
{
    try {
        work();
    } catch (const Exception &e) {
        ShowMessageBox(e.message(), mkError, mbOK);
    }
}

bool Tfdboutput::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == GroupBox5 && event->type() == QEvent::MouseButtonDblClick) {
        guarded([this] { GroupBox5DblClick(); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Tfdboutput::Setup(TMemTable &dataset, const TColumns &columns, TCfgHandler *cfg, const QString &filterText,
                       QMenu *frameMenu, const QString &configName)
{
    m_dataset = &dataset;
    m_columns = columns;
    m_cfg = cfg;
    m_frameMenu = frameMenu;
    m_configName = configName;
    edtitle->setText(CommonText(57));
    rebuildMenus();
    chlb->clear();
    for (size_t i = 0; i < m_columns.size(); ++i) {
        auto *item = new QListWidgetItem(m_columns[i].Title.Caption, chlb);
        item->setData(kColumnRole, int(i));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(i < 4 ? Qt::Checked : Qt::Unchecked);
    }
    SetFilterText(filterText);
    chlbClick();
}

void Tfdboutput::SetFilterText(const QString &text)
{
    m_filterText = text;
    chbfilter->setEnabled(!text.isEmpty());
    chbfilter->setChecked(chbfilter->isEnabled());
}

void Tfdboutput::ShowDefinition() { exec(); }

const TColumn &Tfdboutput::ColumnOf(const QListWidgetItem *item) const
{
    return m_columns.at(size_t(item->data(kColumnRole).toInt()));
}

int Tfdboutput::OutputType() const { return std::max(0, rgtypeButtons->checkedId()); }
void Tfdboutput::SetOutputType(int type)
{
    if (QAbstractButton *b = rgtypeButtons->button(type >= 0 && type < kOutputTypeCount ? type : 0))
        b->setChecked(true);
    rgtypeClick();
}
int Tfdboutput::Orientation() const { return std::max(0, rgoriButtons->checkedId()); }
void Tfdboutput::SetOrientation(int item)
{
    if (QAbstractButton *b = rgoriButtons->button(item >= 0 && item <= 2 ? item : 0))
        b->setChecked(true);
}
QString Tfdboutput::CurrentTemplate() const { return labtempl->text(); }

void Tfdboutput::rgtypeClick()
{
    const int type = OutputType();
    Pantisk->setVisible(type <= otHtml);
    rgori->setVisible(type != otHtml);
    chbexpheader->setVisible(type > otHtml);
}

bool Tfdboutput::isNumericColumn(const TColumn &column) const
{
    const TField *field = m_dataset ? m_dataset->findField(column.FieldName) : nullptr;
    if (!field)
        return false;
    const TFieldType t = field->dataType();
    return t != TFieldType::Boolean && (IsIntegerType(t) || t == TFieldType::Float || t == TFieldType::Currency
                                        || t == TFieldType::BCD);
}

void Tfdboutput::chlbClick()
{
    QListWidgetItem *item = chlb->currentItem();
    const bool enabled = item && isNumericColumn(ColumnOf(item));
    chbsum->setEnabled(enabled);
    chbsum->setChecked(enabled && item->text().contains(SumMarker()));
}

void Tfdboutput::spbcheckallClick(bool check)
{
    for (int i = 0; i < chlb->count(); ++i)
        chlb->item(i)->setCheckState(check ? Qt::Checked : Qt::Unchecked);
}

void Tfdboutput::moveItem(int from, int to)
{
    QListWidgetItem *item = chlb->takeItem(from);
    chlb->insertItem(to, item);
    chlb->setCurrentRow(to);
}

void Tfdboutput::spbupClick()
{
    const int row = chlb->currentRow();
    if (row >= 1)
        moveItem(row, row - 1);
}

void Tfdboutput::spbdnClick()
{
    const int row = chlb->currentRow();
    if (row >= 0 && row < chlb->count() - 1)
        moveItem(row, row + 1);
}

void Tfdboutput::chbsumClick()
{
    QListWidgetItem *item = chlb->currentItem();
    if (!item)
        return;
    item->setText(ColumnOf(item).Title.Caption + (chbsum->isChecked() ? SumMarker() : QString()));
}

Tdboutputsfields Tfdboutput::FieldList() const
{
    Tdboutputsfields fields;
    for (int i = 0; i < chlb->count(); ++i) {
        const QListWidgetItem *item = chlb->item(i);
        if (item->checkState() != Qt::Checked)
            continue;
        const TColumn &c = ColumnOf(item);
        fields.push_back({c.FieldName, -1, c.Title.Caption, c.Width, item->text().contains(SumMarker())});
    }
    return fields;
}

bool Tfdboutput::Button1Click()
{
    if (!m_dataset)
        return false;
    TOutputOptions options;
    options.OfferOpen = true;
    options.Title = edtitle->text();
    options.FilterText = chbfilter->isChecked() ? m_filterText : QString();
    options.PrintTimestamp = chbtimestamp->isChecked();
    options.PrintRecordCount = chbreccount->isChecked();
    options.Orientation = Orientation();
    options.ExportHeader = chbexpheader->isChecked();
    return RunOutputWriter(OutputType(), *m_dataset, FieldList(), options);
}

// ---- Templates ------------------------------------------------------------------------

void Tfdboutput::rebuildMenus()
{
    auto strip = [](QMenu *menu, int fixed) {
        const QList<QAction *> actions = menu->actions();
        for (qsizetype i = 0; i + fixed < actions.size(); ++i) {
            menu->removeAction(actions[i]);
            actions[i]->deleteLater();
        }
    };
    strip(pms, kPmsFixedItems);
    if (m_frameMenu)
        strip(m_frameMenu, kFrameMenuFixedItems);
    QStringList lines;
    try {
        lines = TOutputTemplates(m_cfg, m_configName).Lines();
    } catch (const Exception &) {
        // A damaged file offers no templates; the operation that reads it reports the damage.
    }
    for (const QString &line : lines) {
        const QString name = TOutputTemplates::NameOf(line);
        // The captions are plain names: a "&" in a name must not become an accelerator.
        QString caption = name;
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *own = new QAction(caption, pms);
        pms->insertAction(N1, own);
        connect(own, &QAction::triggered, this, [this, name] { guarded([this, name] { chooseTemplate(name); }); });
        if (m_frameMenu) {
            const QList<QAction *> fixed = m_frameMenu->actions();
            QAction *frameItem = new QAction(caption, m_frameMenu);
            const qsizetype before = fixed.size() - kFrameMenuFixedItems;
            m_frameMenu->insertAction(before >= 0 ? fixed[before] : nullptr, frameItem);
            connect(frameItem, &QAction::triggered, this, [this, name] { guarded([this, name] { RunTemplate(name); }); });
        }
    }
    const bool current = !labtempl->text().isEmpty();
    spbtempl_delete->setEnabled(current);
    Exportovatablonu1->setEnabled(current);
}

void Tfdboutput::pmsClick(const QString &caption) { guarded([&] { chooseTemplate(StripAccelerators(caption)); }); }

void Tfdboutput::pmoutClick(const QString &caption) { guarded([&] { RunTemplate(StripAccelerators(caption)); }); }

bool Tfdboutput::chooseTemplate(const QString &name)
{
    const QStringList lines = TOutputTemplates(m_cfg, m_configName).Lines();
    const int index = TOutputTemplates::IndexOf(lines, name);
    if (index < 0) {
        labtempl->clear();
        rebuildMenus();
        return false;
    }
    labtempl->setText(TOutputTemplates::NameOf(lines[index]));
    applyDefinition(TOutputTemplates::DefinitionOf(lines[index]));
    rebuildMenus();
    return true;
}

bool Tfdboutput::RunTemplate(const QString &name)
{
    if (!chooseTemplate(StripAccelerators(name)))
        return false;
    return Button1Click();
}

void Tfdboutput::applyDefinition(const QString &definition)
{
    const TOutputDefinition d = TOutputDefinition::Parse(definition);
    SetOutputType(d.Type);
    edtitle->setText(d.Title);
    chbtimestamp->setChecked(d.PrintTimestamp);
    chbfilter->setChecked(d.PrintFilter && chbfilter->isEnabled());
    chbreccount->setChecked(d.PrintRecordCount);
    SetOrientation(d.Orientation);
    for (int i = 0; i < chlb->count(); ++i) {
        chlb->item(i)->setCheckState(Qt::Unchecked);
        chlb->item(i)->setText(ColumnOf(chlb->item(i)).Title.Caption);
    }
    int marker = -1;
    for (QString entry : d.Columns) {
        const qsizetype at = entry.indexOf(SumMarker());
        const bool summed = at >= 0;
        if (summed)
            entry.remove(at, SumMarker().size());
        int found = -1;
        for (int i = 0; i < chlb->count(); ++i) {
            if (ColumnOf(chlb->item(i)).FieldName.compare(entry, Qt::CaseInsensitive) == 0) {
                found = i;
                break;
            }
        }
        if (found < 0)
            continue;
        QListWidgetItem *item = chlb->item(found);
        item->setCheckState(Qt::Checked);
        if (summed)
            item->setText(item->text() + SumMarker());
        if (found < marker) {
            chlb->takeItem(found);
            chlb->insertItem(marker, item); // after removal the marker's item moved up by one
        } else {
            marker = found;
        }
    }
    chlbClick();
}

QString Tfdboutput::definitionText() const
{
    TOutputDefinition d;
    d.Type = OutputType();
    d.Title = edtitle->text();
    d.PrintTimestamp = chbtimestamp->isChecked();
    d.PrintFilter = chbfilter->isChecked();
    d.PrintRecordCount = chbreccount->isChecked();
    d.Orientation = Orientation();
    for (int i = 0; i < chlb->count(); ++i) {
        const QListWidgetItem *item = chlb->item(i);
        if (item->checkState() == Qt::Checked)
            d.Columns << ColumnOf(item).FieldName + (item->text().contains(SumMarker()) ? SumMarker() : QString());
    }
    return d.Text();
}

void Tfdboutput::spbtempl_chooseClick() { pms->popup(spbtempl_choose->mapToGlobal(QPoint(0, spbtempl_choose->height()))); }

void Tfdboutput::spbtempl_saveClick(const QString &proposed, bool useProposed)
{
    QString name = useProposed ? proposed : StripAccelerators(labtempl->text());
    if (!InputText(CommonText(69), CommonText(70), name) || name.isEmpty())
        return;
    const TOutputTemplates store(m_cfg, m_configName);
    QStringList lines = store.Lines(); // a damaged file stops here, untouched
    const bool other = name.compare(StripAccelerators(labtempl->text()), Qt::CaseInsensitive) != 0;
    if (other && TOutputTemplates::IndexOf(lines, name) >= 0) {
        QString question = CommonText(71);
        question.replace(QStringLiteral("%s"), name);
        if (ShowMessageBox(question, mkConfirmation, mbOK | mbCancel) != mrOk) {
            rebuildMenus();
            return;
        }
    }
    TOutputTemplates::Store(lines, name, definitionText());
    store.WriteLines(lines);
    labtempl->setText(name);
    rebuildMenus();
}

void Tfdboutput::spbtempl_deleteClick()
{
    QString question = CommonText(72);
    question.replace(QStringLiteral("%s"), labtempl->text());
    if (ShowMessageBox(question, mkConfirmation, mbOK | mbCancel) != mrOk)
        return;
    const TOutputTemplates store(m_cfg, m_configName);
    QStringList lines = store.Lines();
    const int index = TOutputTemplates::IndexOf(lines, labtempl->text());
    if (index >= 0)
        lines.removeAt(index);
    store.WriteLines(lines);
    labtempl->clear();
    rebuildMenus();
}

void Tfdboutput::Exportovatablonu1Click()
{
    TFileDialogSpec spec{CommonText(144), kTmoFilter, QStringLiteral("tmo"),
                         StripAccelerators(labtempl->text()) + QStringLiteral(".tmo"), true};
    if (!ExecuteSaveDialog(spec))
        return;
    const QStringList lines = TOutputTemplates(m_cfg, m_configName).Lines();
    const int index = TOutputTemplates::IndexOf(lines, labtempl->text());
    if (index < 0)
        throw Exception(CommonText(146));
    TOutputTemplates::WriteExchangeFile(spec.FileName, lines[index]);
}

void Tfdboutput::Importovatablonu1Click()
{
    TFileDialogSpec spec{CommonText(143), kTmoFilter, QStringLiteral("tmo"), QString(), false};
    if (!ExecuteOpenDialog(spec))
        return;
    QString name, definition;
    TOutputTemplates::ReadExchangeFile(spec.FileName, name, definition);
    applyDefinition(definition);
    labtempl->clear();
    spbtempl_saveClick(name, true);
}

void Tfdboutput::GroupBox5DblClick()
{
    const TOutputTemplates store(m_cfg, m_configName);
    const QString path = store.FileName();
    if (!QFileInfo::exists(path)) {
        ShowMessageBox(QStringLiteral("Konfigurace ") + path + QStringLiteral(" nebyla nalezena."), mkWarning, mbOK);
        return;
    }
    if (ShowMessageBox(QStringLiteral("Byla nalezena konfigurace tisků ") + path + QStringLiteral("\r\nProvést import?"),
                       mkConfirmation, mbYes | mbNo)
        != mrYes)
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Konfigurace ") + path + QStringLiteral(" nebyla nalezena."));
    store.WriteLines(TOutputTemplates::ParseLines(file.readAll(), path));
    rebuildMenus();
}

// ---- Installation ----------------------------------------------------------------------

namespace {
// The frame owns the dialog through this handle; the dialog is a window of the frame's window.
class TOutputHandle : public IFrameOutput {
public:
    explicit TOutputHandle(Tfdboutput *dialog) : m_dialog(dialog) {}
    ~TOutputHandle() override { delete m_dialog.data(); }
    void SetFilterText(const QString &text) override
    {
        if (m_dialog)
            m_dialog->SetFilterText(text);
    }
    void ShowDefinition() override
    {
        if (m_dialog)
            m_dialog->ShowDefinition();
    }

private:
    QPointer<Tfdboutput> m_dialog;
};
} // namespace

FrameOutputFactory OutputDialogFactory()
{
    return [](TMemTable &dataset, const TColumns &columns, TCfgHandler *cfg, QMenu *pmo, const QString &configName)
               -> std::unique_ptr<IFrameOutput> {
        QWidget *owner = pmo && pmo->parentWidget() ? pmo->parentWidget()->window() : nullptr;
        auto *dialog = new Tfdboutput(owner);
        dialog->setWindowFlag(Qt::Dialog);
        dialog->Setup(dataset, columns, cfg, QString(), pmo, configName);
        return std::make_unique<TOutputHandle>(dialog);
    };
}

void InstallOutputDialogs()
{
    static TOutputWindowsWidget windows;
    static TReportWindowsWidget reportWindows;
    SetOutputWindows(&windows);
    SetReportWindows(&reportWindows);
    Tfrg::SetOutputFactory(OutputDialogFactory());
}
