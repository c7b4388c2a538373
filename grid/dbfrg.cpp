#include "dbfrg.h"

#include <algorithm>

#include "cfghandler.h"
#include "dbext.h"
#include "dbfrgcols.h"
#include "exception.h"
#include "formatsettings.h"
#include "frmfind.h"
#include "lcscommon.h"
#include "memtable.h"
#include "myutils.h"
#include "tablemodel.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const QColor kSortColor(0, 0, 128);
std::unique_ptr<TFileCfgHandler> g_cfgHandler;
FrameOutputFactory g_outputFactory;

const char *const kNavigatorGlyphs[TDBNavigator::kButtonCount] = {"|◀", "◀", "▶", "▶|", "+", "−", "▲", "✓", "✗", "↻"};

QPixmap directionGlyph(bool descending)
{
    // The set-up button's picture: a small triangle pointing the way of the order.
    QPixmap pixmap(9, 9);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kSortColor);
    QPolygonF triangle;
    if (descending)
        triangle << QPointF(0.5, 2) << QPointF(8.5, 2) << QPointF(4.5, 7.5);
    else
        triangle << QPointF(0.5, 7.5) << QPointF(8.5, 7.5) << QPointF(4.5, 2);
    p.drawPolygon(triangle);
    return pixmap;
}

QString formatCount(int count)
{
    QString text = CommonText(155);
    text.replace(QStringLiteral("%d"), QString::number(count));
    return text;
}

// Restores what CountRecords changes around its walk, on every way out.
class CountScope {
public:
    explicit CountScope(TMemTable &table) : m_kept(table, true) { BeginWait(); }
    ~CountScope() { EndWait(); }

private:
    TKeptRow m_kept;
};
} // namespace

// ---- TDBNavigator -----------------------------------------------------------------------

TDBNavigator::TDBNavigator(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int b = 0; b < kButtonCount; ++b) {
        auto *button = new QToolButton(this);
        button->setText(QString::fromUtf8(kNavigatorGlyphs[b]));
        button->setFixedSize(25, 25);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, b] { BtnClick(Button(b)); });
        layout->addWidget(button);
        m_buttons[b] = button;
    }
    SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbRefresh});
}

TMemTable *TDBNavigator::Table() const { return m_dataSource ? m_dataSource->table() : nullptr; }

void TDBNavigator::SetDataSource(TTableModel *dataSource)
{
    for (const auto &c : m_connections)
        disconnect(c);
    m_connections.clear();
    m_dataSource = dataSource;
    if (dataSource) {
        auto update = [this] { UpdateButtons(); };
        m_connections = {connect(dataSource, &TTableModel::currentRowChanged, this, update),
                         connect(dataSource, &QAbstractItemModel::modelReset, this, update),
                         connect(dataSource, &QAbstractItemModel::rowsInserted, this, update),
                         connect(dataSource, &QAbstractItemModel::rowsRemoved, this, update)};
    }
    UpdateButtons();
}

void TDBNavigator::UpdateButtons()
{
    TMemTable *table = Table();
    const bool active = table && table->active();
    const bool browsing = active && table->state() == TTableState::Browse;
    const bool editing = active && !browsing;
    const int count = active ? table->recordCount() : 0;
    const int recNo = browsing && count > 0 ? table->recNo() : 0;
    m_buttons[nbFirst]->setEnabled(browsing && recNo > 1);
    m_buttons[nbPrior]->setEnabled(browsing && recNo > 1);
    m_buttons[nbNext]->setEnabled(browsing && recNo < count);
    m_buttons[nbLast]->setEnabled(browsing && recNo < count);
    m_buttons[nbInsert]->setEnabled(browsing);
    m_buttons[nbDelete]->setEnabled(browsing && count > 0);
    m_buttons[nbEdit]->setEnabled(browsing && count > 0);
    m_buttons[nbPost]->setEnabled(editing);
    m_buttons[nbCancel]->setEnabled(editing);
    m_buttons[nbRefresh]->setEnabled(browsing);
}

void TDBNavigator::SetVisibleButtons(std::initializer_list<Button> buttons)
{
    for (int b = 0; b < kButtonCount; ++b)
        m_buttons[b]->setHidden(true);
    for (Button b : buttons)
        m_buttons[b]->setHidden(false);
}

bool TDBNavigator::IsButtonShown(Button button) const { return !m_buttons[button]->isHidden(); }

void TDBNavigator::SetHints(const QStringList &hints)
{
    for (int b = 0; b < kButtonCount && b < hints.size(); ++b)
        m_buttons[b]->setToolTip(hints[b]);
}

void TDBNavigator::BtnClick(Button button)
{
    bool cancel = false;
    if (BeforeAction)
        BeforeAction(button, cancel);
    if (cancel)
        return;
    try {
        doAction(button);
    } catch (const Exception &e) {
        ShowMessageBox(e.message(), mkError, mbOK);
    }
    UpdateButtons();
    if (OnClick)
        OnClick(button);
}

void TDBNavigator::doAction(Button button)
{
    TMemTable *table = Table();
    if (!table || !table->active())
        return;
    switch (button) {
    case nbFirst: table->first(); break;
    case nbPrior: table->prior(); break;
    case nbNext: table->next(); break;
    case nbLast: table->last(); break;
    case nbInsert: table->insert(); break;
    case nbDelete:
        if (!table->isEmpty())
            table->deleteRecord();
        break;
    case nbEdit: table->edit(); break;
    case nbPost: table->post(); break;
    case nbCancel: table->cancel(); break;
    case nbRefresh:
        // A table that knows a fuller refresh gets that one.
        if (table->metaObject()->indexOfMethod("RefreshFull()") >= 0)
            QMetaObject::invokeMethod(table, "RefreshFull");
        else if (m_dataSource) {
            table->disableControls();
            table->enableControls();
        }
        break;
    }
}

// ---- Tfrg ------------------------------------------------------------------------------------

TFileCfgHandler *Tfrg::CfgHandler() { return g_cfgHandler.get(); }
void Tfrg::FreeCfgHandler() { g_cfgHandler.reset(); }
void Tfrg::SetOutputFactory(FrameOutputFactory factory) { g_outputFactory = std::move(factory); }
bool Tfrg::HasOutputFactory() { return bool(g_outputFactory); }

Tfrg::Tfrg(QWidget *parent) : QWidget(parent)
{
    if (!g_cfgHandler) {
        g_cfgHandler = std::make_unique<TFileCfgHandler>(DataDirectory());
        ReplaceDataMessages();
    }
    setObjectName(QStringLiteral("frg"));

    pan = new QWidget(this);
    auto *top = new QHBoxLayout(pan);
    top->setContentsMargins(2, 2, 2, 2);
    top->setSpacing(4);
    nv = new TDBNavigator(pan);
    QStringList hints;
    CommonTextToList(23, hints);
    nv->SetHints(hints);
    top->addWidget(nv);

    spbfind = new QPushButton(CommonText(4), pan);
    spbfind->setToolTip(CommonText(26));
    spbfilter = new QPushButton(CommonText(5), pan);
    spbfilter->hide();
    spboutput = new QPushButton(CommonText(6), pan);
    spboutput->setToolTip(CommonText(27));
    spboutput->hide();
    for (QPushButton *button : {spbfind, spbfilter, spboutput}) {
        button->setFocusPolicy(Qt::NoFocus);
        top->addWidget(button);
    }
    top->addStretch(1);

    gr = new TDBGridEx(this);
    gr->SetHotTrackTitles(true);
    gr->setCornerButtonEnabled(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pan);
    layout->addWidget(gr, 1);

    pancfg = new QWidget(gr);
    auto *cfgLayout = new QHBoxLayout(pancfg);
    cfgLayout->setContentsMargins(0, 0, 0, 0);
    spbcfg = new QToolButton(pancfg);
    spbcfg->setToolTip(CommonText(152));
    spbcfg->setIcon(directionGlyph(false));
    spbcfg->setAutoRaise(true);
    spbcfg->setFocusPolicy(Qt::NoFocus);
    cfgLayout->addWidget(spbcfg);
    gr->installEventFilter(this);

    pmcfg = new QMenu(this);
    pmsort = new QMenu(CommonText(8), pmcfg);
    pmcfg->addMenu(pmsort);
    m_sortGroup = new QActionGroup(this);
    m_sortGroup->setExclusive(true);
    auto *directions = new QActionGroup(this);
    ditvzestupn1 = pmcfg->addAction(CommonText(150));
    ditsestupn1 = pmcfg->addAction(CommonText(151));
    for (QAction *a : {ditvzestupn1, ditsestupn1}) {
        a->setCheckable(true);
        directions->addAction(a);
        a->setVisible(false);
    }
    Setdit1 = pmcfg->addAction(CommonText(9));
    N1 = pmcfg->addSeparator();
    Upravitpoadsloupc1 = pmcfg->addAction(CommonText(153));
    Uloitnastavensloupc1 = pmcfg->addAction(CommonText(10));
    Naststandartnnastavensloupc1 = pmcfg->addAction(CommonText(11));
    N3 = pmcfg->addSeparator();
    Zjistitpoetzznam1 = pmcfg->addAction(CommonText(154));
    gr->PopupMenu = pmcfg;

    pmo = new QMenu(this);
    pmo->addSeparator()->setData(-1);
    Definovatvstup1 = pmo->addAction(CommonText(7));
    Definovatvstup1->setData(-1);

    // Wiring.
    connect(spbfind, &QPushButton::clicked, this, [this] { Search(); });
    connect(spboutput, &QPushButton::clicked, this, [this] { Output(); });
    connect(spbcfg, &QToolButton::clicked, this, [this] {
        m_popupAllowed = true;
        if (PreparePopup())
            pmcfg->popup(spbcfg->mapToGlobal(QPoint(0, spbcfg->height())));
    });
    connect(ditvzestupn1, &QAction::triggered, this, [this] { SortByColumn(m_sortColumn, false); });
    connect(ditsestupn1, &QAction::triggered, this, [this] {
        if (m_descendingAllowed)
            SortByColumn(m_sortColumn, true);
    });
    connect(Setdit1, &QAction::triggered, this, [this] { Search(); });
    connect(Upravitpoadsloupc1, &QAction::triggered, this, [this] { EditColumnOrder(); });
    connect(Uloitnastavensloupc1, &QAction::triggered, this, [this] { SaveColumnSettings(); });
    connect(Naststandartnnastavensloupc1, &QAction::triggered, this, [this] { RestoreStandardColumns(); });
    connect(Zjistitpoetzznam1, &QAction::triggered, this, [this] { CountRecords(); });
    connect(Definovatvstup1, &QAction::triggered, this, [this] {
        if (m_output)
            m_output->ShowDefinition();
    });

    gr->OnTitleClick = [this](int column) { titleClick(column); };
    gr->OnHotTrackTitles = [this](TDBGridEx *, int column, bool &allowed) { allowed = IsSortableColumn(column); };
    gr->OnTitleMouseDown = [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int column) {
        if (button == Qt::RightButton && modifiers == Qt::NoModifier && column >= 0)
            m_popupAllowed = false;
    };
    gr->OnPopupRequest = [this] { return PreparePopup(); };
    gr->OnDblClick = [this] {
        TMemTable *table = Table();
        if (nv->IsButtonShown(TDBNavigator::nbEdit) && table && table->active() && !table->isEmpty())
            startDetail(false);
    };
    nv->BeforeAction = [this](TDBNavigator::Button button, bool &cancel) { navigatorBeforeAction(button, cancel); };
    nv->OnClick = [this](TDBNavigator::Button) {
        if (gr->isEnabled() && gr->isVisible())
            gr->setFocus();
    };
}

Tfrg::~Tfrg() = default;

TMemTable *Tfrg::Table() const { return m_dataSource ? m_dataSource->table() : nullptr; }

QPixmap Tfrg::SortGlyph() const { return spbcfg->icon().pixmap(9, 9); }

void Tfrg::showPlainMessage(const QString &text)
{
    if (IMessageBoxHandler *handler = MessageBoxHandler())
        handler->showPlainMessage(text);
    else
        ShowMessageBox(text, mkPlain, mbOK);
}

void Tfrg::InitFrame(TTableModel *dataSource, QDialog *detailForm, const QString &configName)
{
    if (!dataSource)
        throw Exception(objectName() + QStringLiteral(".init error: unassigned datasource"));
    if (!dataSource->table()) {
        QString namePath = dataSource->objectName();
        if (QObject *owner = dataSource->parent(); owner && !owner->objectName().isEmpty())
            namePath = owner->objectName() + QLatin1Char('.') + namePath;
        throw Exception(objectName() + QStringLiteral(".init error: unassigned dataset for datasource ") + namePath);
    }
    m_lastSearch.clear();
    m_popupAllowed = true;
    m_dataSource = dataSource;
    nv->SetDataSource(dataSource);
    gr->SetDataModel(dataSource);
    m_detailForm = detailForm;
    m_configName = configName.isEmpty() ? objectName() : configName;

    m_defaultColumns = SaveColumns(gr->Columns());

    QByteArray stored;
    if (g_cfgHandler && g_cfgHandler->ReadCfg(QStringLiteral("col"), QString(), m_configName, stored)
        && !stored.isEmpty()) {
        m_savedSettings = true;
        try {
            const QByteArray bytes = HexDecode(QString::fromLatin1(stored));
            gr->SetColumns(withNewColumns(withDesignedFonts(LoadColumns(bytes), gr->Columns()), gr->Columns()));
        } catch (const Exception &) {
            // Damaged settings: the designed layout stays.
            gr->SetColumns(LoadColumns(m_defaultColumns));
        }
    }

    // Our table class keeps descending orders as named indexes.
    m_descendingAllowed = true;
    ditvzestupn1->setVisible(m_descendingAllowed);
    ditsestupn1->setVisible(m_descendingAllowed);

    BuildSortMenu();
    DetectSort();
    if (Table()->active())
        ApplyDisplayFormats(*gr);
    placeCfgButton();
}

bool Tfrg::IsSortableColumn(int column) const
{
    if (spbfind->isHidden() || !spbfind->isEnabled() || column < 0 || column >= gr->ColumnCount())
        return false;
    const TColumn &c = gr->Columns()[size_t(column)];
    if (!c.Visible || c.ButtonStyle == TColumnButtonStyle::cbsNone)
        return false;
    if (!c.FieldName.isEmpty()) {
        if (TMemTable *table = Table()) {
            if (TField *field = table->findField(c.FieldName)) {
                if (field->dataType() == TFieldType::Blob || field->dataType() == TFieldType::Memo)
                    return false;
            }
        }
    }
    return true;
}

QString Tfrg::SortFieldOf(int column) const
{
    if (column < 0 || column >= gr->ColumnCount())
        return QString();
    const TColumn &c = gr->Columns()[size_t(column)];
    return c.PickList.isEmpty() ? c.FieldName : c.PickList.first();
}

void Tfrg::BuildSortMenu()
{
    if (spbfind->isHidden() || !spbfind->isEnabled())
        return;
    for (QAction *a : pmsort->actions()) {
        m_sortGroup->removeAction(a);
        delete a;
    }
    for (int i = 0; i < gr->ColumnCount(); ++i) {
        if (!IsSortableColumn(i))
            continue;
        QAction *item = pmsort->addAction(gr->Columns()[size_t(i)].Title.Caption);
        item->setCheckable(true);
        item->setData(i);
        m_sortGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, i] { SortByColumn(i, m_descending); });
    }
}

void Tfrg::SortByColumn(int column, bool descending)
{
    if (column < 0 || column >= gr->ColumnCount()) {
        m_sortColumn = -1;
        return;
    }
    TMemTable *table = Table();
    if (!table)
        return;
    const QString sortField = SortFieldOf(column);
    if (!descending) {
        try {
            table->setIndexFieldNames(sortField);
        } catch (const Exception &) {
            showPlainMessage(QStringLiteral("Error - cannot change index to \"") + sortField + QStringLiteral("\"!"));
        }
    } else {
        table->updateIndexDefs();
        const QString indexName = sortField.toUpper() + QStringLiteral("_ixd");
        try {
            if (!table->findIndex(indexName))
                table->addIndex(indexName, sortField, true, true);
            table->setIndexName(indexName);
        } catch (const Exception &) {
            showPlainMessage(QStringLiteral("Error - cannot change index to \"") + sortField
                             + QStringLiteral(" DESC\"!"));
        }
    }
    if (descending != m_descending || spbcfg->icon().isNull())
        spbcfg->setIcon(directionGlyph(descending));
    m_descending = descending;
    ditvzestupn1->setChecked(!descending);
    ditsestupn1->setChecked(descending);

    const QColor windowText = palette().color(QPalette::WindowText);
    for (int i = 0; i < gr->ColumnCount(); ++i) {
        TColumn &c = gr->Column(i);
        const QColor color = i == column ? kSortColor : windowText;
        c.Title.FontColor = ColumnColorOf(color);
        c.FontColor = ColumnColorOf(color);
    }
    gr->ColumnsChanged();
    m_sortColumn = column;
    for (QAction *a : pmsort->actions())
        a->setChecked(a->data().toInt() == column);
    m_lastSearch.clear();
}

void Tfrg::DetectSort()
{
    if (spbfind->isHidden() || !spbfind->isEnabled())
        return;
    TMemTable *table = Table();
    QString order = table ? table->indexFieldNames().trimmed() : QString();
    bool descending = false;
    for (const QString &ending : {QStringLiteral(" DESCENDING"), QStringLiteral(" DESC")}) {
        if (order.endsWith(ending, Qt::CaseInsensitive)) {
            order.chop(ending.size());
            order = order.trimmed();
            descending = true;
            break;
        }
    }
    int found = -1;
    int first = -1;
    int navy = -1;
    for (int i = 0; i < gr->ColumnCount(); ++i) {
        if (!IsSortableColumn(i))
            continue;
        if (first < 0)
            first = i;
        const TColumn &c = gr->Columns()[size_t(i)];
        if (found < 0 && !order.isEmpty() && c.FieldName.compare(order, Qt::CaseInsensitive) == 0)
            found = i;
        if (navy < 0 && c.Title.FontColor == ColumnColorOf(kSortColor))
            navy = i;
    }
    if (found < 0)
        found = navy;
    if (found < 0 && order.isEmpty())
        found = first;
    SortByColumn(found, descending);
    if (table && table->active() && table->state() == TTableState::Browse)
        table->first();
}

void Tfrg::titleClick(int column)
{
    if (!IsSortableColumn(column))
        return;
    const bool descending = column == m_sortColumn && m_descendingAllowed ? !m_descending : m_descending;
    SortByColumn(column, descending);
}

bool Tfrg::PreparePopup()
{
    if (!m_popupAllowed) {
        m_popupAllowed = true;
        return false;
    }
    if (!spbcfg->isEnabled() || !pancfg->isEnabled() || !isEnabled())
        return false;
    const bool sorted = m_sortColumn >= 0;
    Setdit1->setVisible(sorted);
    N1->setVisible(sorted);
    pmsort->menuAction()->setVisible(sorted && !pmsort->actions().isEmpty());
    return true;
}

void Tfrg::SaveColumnSettings()
{
    TMemTable *table = Table();
    if (!table || !table->active() || !g_cfgHandler)
        return;
    const QString hex = HexEncode(SaveColumns(gr->Columns()));
    if (!g_cfgHandler->WriteCfg(QStringLiteral("col"), QString(), m_configName, hex.toLatin1())) {
        // Saying nothing would leave the user believing the layout was kept.
        ShowMessageBox(QStringLiteral("Nastavení sloupců se nepodařilo uložit."), mkError, mbOK);
        return;
    }
    m_savedSettings = true;
}

TColumns Tfrg::withDesignedFonts(TColumns loaded, const TColumns &designed)
{
    // Nobody edits column fonts: a font in saved settings is what the grid happened to
    // use then (earlier versions stored the inherited font as if set). The designed
    // columns decide, so that a saved layout never changes the grid's font.
    for (TColumn &column : loaded) {
        column.Font = TColumnFont();
        column.Title.Font = TColumnFont();
        for (const TColumn &design : designed) {
            if (design.FieldName.compare(column.FieldName, Qt::CaseInsensitive) == 0) {
                column.Font = design.Font;
                column.Title.Font = design.Title.Font;
                break;
            }
        }
    }
    return loaded;
}

TColumns Tfrg::withNewColumns(TColumns loaded, const TColumns &designed)
{
    // Settings saved before a column was designed lack it: it joins at the end as
    // designed, so that a new column is seen without restoring the standard layout.
    for (const TColumn &design : designed) {
        if (design.FieldName.isEmpty())
            continue;
        const bool known = std::any_of(loaded.begin(), loaded.end(), [&](const TColumn &column) {
            return column.FieldName.compare(design.FieldName, Qt::CaseInsensitive) == 0;
        });
        if (!known)
            loaded.push_back(design);
    }
    return loaded;
}

void Tfrg::RestoreStandardColumns()
{
    m_output.reset(); // it refers to the old columns
    if (!m_defaultColumns.isEmpty()) {
        try {
            gr->SetColumns(LoadColumns(m_defaultColumns));
        } catch (const Exception &) {
        }
        BuildSortMenu();
        DetectSort();
    }
    SortByColumn(m_sortColumn, m_descending);
    if (m_savedSettings
        && ShowMessageBox(CommonText(12), mkConfirmation, mbYes | mbNo) == mrYes && g_cfgHandler) {
        g_cfgHandler->DeleteCfg(QStringLiteral("col"), QString(), m_configName);
        m_savedSettings = false;
    }
}

void Tfrg::EditColumnOrder()
{
    Tfdbfrgcols editor(window());
    editor.Fill(gr, [this] { RestoreStandardColumns(); });
    editor.exec();
    BuildSortMenu();
}

void Tfrg::Search()
{
    TMemTable *table = Table();
    if (m_sortColumn < 0 || !table || !table->active())
        return;
    TField *field = table->findField(SortFieldOf(m_sortColumn));
    Tffrmfind dialog(window());
    dialog.setWindowTitle(CommonText(24));
    dialog.Label1->setText(gr->Columns()[size_t(m_sortColumn)].Title.Caption);
    dialog.Field = field;
    const QString current = field && !table->isEmpty() ? field->asString() : QString();
    if (m_lastSearch.isEmpty()) {
        dialog.Edit1->setText(current);
    } else {
        dialog.Edit1->setText(m_lastSearch);
        if (m_lastSearch != current)
            dialog.FirstActivate = false;
    }
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString text = dialog.Edit1->text();
    m_lastSearch = text;
    if (!field)
        return;
    try {
        // A key search on the current order: the first row at or after the text.
        table->findNearest(text);
    } catch (const Exception &e) {
        ShowMessageBox(e.message(), mkError, mbOK);
        return;
    }
    if (dialog.Accurate) {
        const bool exact = !table->isEmpty()
                           && (field->asString() == text || field->displayText() == text || field->text() == text);
        if (!exact)
            ShowMessageBox(CommonText(25), mkWarning, mbOK);
    }
}

void Tfrg::Output()
{
    // A frame its owner never initialised (the statistics table) still outputs the
    // table its grid shows, under the frame's own name.
    TMemTable *table = Table();
    if (!table && gr->TableModel())
        table = gr->TableModel()->table();
    if (!table || !g_outputFactory)
        return;
    if (!m_output) {
        TColumns visible;
        for (const TColumn &c : gr->Columns()) {
            if (c.Visible)
                visible.push_back(c);
        }
        m_output = g_outputFactory(*table, visible, g_cfgHandler.get(), pmo,
                                   m_configName.isEmpty() ? objectName() : m_configName);
    }
    if (!m_output)
        return;
    m_output->SetFilterText(spbfilter->toolTip());
    if (pmo->actions().size() < 3)
        m_output->ShowDefinition();
    else
        pmo->popup(spboutput->mapToGlobal(QPoint(0, spboutput->height())));
}

int Tfrg::CountRecords(bool show)
{
    TMemTable *table = Table();
    if (!table || !table->active())
        return 0;
    int count = 0;
    {
        CountScope scope(*table);
        table->first();
        while (!table->eof()) {
            ++count;
            table->next();
        }
    }
    if (show)
        ShowMessageBox(formatCount(count), mkInformation, mbOK);
    return count;
}

void Tfrg::navigatorBeforeAction(TDBNavigator::Button button, bool &cancel)
{
    switch (button) {
    case TDBNavigator::nbDelete:
        if (ShowMessageBox(CommonText(21), mkConfirmation, mbYes | mbNo) != mrYes)
            cancel = true;
        break;
    case TDBNavigator::nbInsert:
    case TDBNavigator::nbEdit:
        if (m_detailForm || OnShowDetail) {
            startDetail(button == TDBNavigator::nbInsert);
            cancel = true;
        }
        break;
    default:
        break;
    }
}

void Tfrg::startDetail(bool inserting)
{
    TMemTable *table = Table();
    if (!table || (!m_detailForm && !OnShowDetail))
        return;
    gr->setFocus();
    try {
        if (inserting)
            table->insert();
        else
            table->edit();
    } catch (const Exception &e) {
        ShowMessageBox(e.message(), mkError, mbOK);
        return;
    }
    // The detail opens once the navigator's click has finished.
    QMetaObject::invokeMethod(this, [this] { ShowDetail(); }, Qt::QueuedConnection);
}

void Tfrg::ShowDetail()
{
    if (OnShowDetail)
        OnShowDetail(this);
    else if (m_detailForm)
        m_detailForm->exec();
}

bool Tfrg::handleKey(QKeyEvent *event)
{
    TMemTable *table = Table();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool modifiable = table && table->active();
    switch (event->key()) {
    case Qt::Key_Insert:
        if (nv->IsButtonShown(TDBNavigator::nbInsert) && modifiable) {
            nv->BtnClick(TDBNavigator::nbInsert);
            return true;
        }
        return false;
    case Qt::Key_Delete:
        // Swallowed always; Alt (alone or with others) never deletes.
        if (nv->IsButtonShown(TDBNavigator::nbDelete) && modifiable
            && (mods == Qt::NoModifier || mods == Qt::ShiftModifier || mods == Qt::ControlModifier)
            && !table->isEmpty())
            nv->BtnClick(TDBNavigator::nbDelete);
        return true;
    case Qt::Key_F3:
        if (!spbfind->isHidden() && spbfind->isEnabled()) {
            spbfind->click();
            return true;
        }
        return false;
    case Qt::Key_F4:
        if (mods == Qt::NoModifier && !spbfilter->isHidden() && spbfilter->isEnabled()) {
            spbfilter->click();
            return true;
        }
        return false;
    case Qt::Key_F5:
        if (nv->IsButtonShown(TDBNavigator::nbRefresh)) {
            nv->BtnClick(TDBNavigator::nbRefresh);
            return true;
        }
        return false;
    case Qt::Key_F8:
        if (mods == Qt::NoModifier && !spboutput->isHidden() && spboutput->isEnabled()) {
            spboutput->click();
            return true;
        }
        return false;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (mods == Qt::ControlModifier) {
            if (nv->IsButtonShown(TDBNavigator::nbEdit) && modifiable && !table->isEmpty())
                startDetail(false);
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool Tfrg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == gr) {
        if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent *>(event)))
            return true;
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest)
            placeCfgButton();
    }
    return QWidget::eventFilter(watched, event);
}

void Tfrg::placeCfgButton()
{
    // Over the corner where the title row meets the row indicators.
    const int width = qMax(gr->verticalHeader()->width(), 12);
    const int height = qMax(gr->horizontalHeader()->height(), 12);
    pancfg->setGeometry(0, 0, qMax(width, 14), height);
    pancfg->raise();
}

QString DateRangeText(const QString &label, double dateFrom, bool fromChecked, double dateTo, bool toChecked)
{
    const QString from = fromChecked ? FormatShortDate(dateFrom) : QStringLiteral("...");
    const QString to = toChecked ? FormatShortDate(dateTo) : QStringLiteral("...");
    return label + QStringLiteral(": ") + from + QStringLiteral(" - ") + to;
}
