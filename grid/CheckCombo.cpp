#include "CheckCombo.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

namespace {
constexpr int kButtonWidth = 16;
constexpr int kScreenBottomMargin = 20;
constexpr int kMinLines = 2;
constexpr int kMaxLines = 20;
} // namespace

// ---- TCheckedDropDown ------------------------------------------------------------------

TCheckedDropDown::TCheckedDropDown(TCheckedComboBox *owner)
    : QFrame(owner, Qt::Popup | Qt::FramelessWindowHint), m_owner(owner)
{
    setFrameShape(QFrame::NoFrame);
    m_list = new QListWidget(this);
    m_list->setFrameShape(QFrame::Box);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setContextMenuPolicy(Qt::DefaultContextMenu);
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
}

void TCheckedDropDown::hideEvent(QHideEvent *event)
{
    QFrame::hideEvent(event);
    m_owner->CloseUp();
}

bool TCheckedDropDown::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape) {
            hide();
            return true;
        }
        if (key->key() == Qt::Key_Space && m_list->currentRow() >= 0) {
            m_owner->ToggleItemByUser(m_list->currentRow());
            return true;
        }
    }
    if (watched == m_list->viewport() && event->type() == QEvent::ContextMenu) {
        m_owner->ListMenu()->popup(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

// ---- TCheckedComboBox --------------------------------------------------------------------

TCheckedComboBox::TCheckedComboBox(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setFocusPolicy(Qt::StrongFocus);

    m_edit = new QLineEdit(this);
    m_edit->setReadOnly(true);
    m_edit->setFrame(false);
    setFocusProxy(m_edit);

    m_button = new QToolButton(this);
    m_button->setIcon(ButtonGlyph());
    m_button->setIconSize(QSize(13, 13));
    m_button->setFocusPolicy(Qt::NoFocus);
    connect(m_button, &QToolButton::clicked, this, [this] { DropDownClick(); });

    m_dropDown = new TCheckedDropDown(this);
    QListWidget *list = m_dropDown->List();
    connect(list, &QListWidget::itemClicked, this, [this, list](QListWidgetItem *item) {
        ToggleItemByUser(list->row(item));
    });
    connect(list, &QListWidget::itemDoubleClicked, this, [this] { CheckOne(); });
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) { m_items.SetCurrentItem(row); });

    m_menu = new QMenu(this);
    connect(m_menu->addAction(QStringLiteral("Vybrat jeden")), &QAction::triggered, this, [this] { CheckOne(); });
    connect(m_menu->addAction(QStringLiteral("Vybrat vše")), &QAction::triggered, this, [this] { CheckAll(); });
    m_uncheckAll = m_menu->addAction(QStringLiteral("Zrušit vše"));
    connect(m_uncheckAll, &QAction::triggered, this, [this] { UncheckAll(); });
    m_uncheckAll->setVisible(false);
    connect(m_menu->addAction(QStringLiteral("Vybrat opačně")), &QAction::triggered, this, [this] { InvertChecks(); });

    connect(&m_items, &TCheckedItems::changed, this, [this] {
        syncChecks();
        updateDisplay();
        if (OnChange)
            OnChange();
    });
    connect(&m_items, &TCheckedItems::displayChanged, this, [this] {
        if (m_dropDown->List()->count() != m_items.Count())
            refillList();
        else
            syncChecks();
        updateDisplay();
    });

    m_color = palette().color(QPalette::Base);
    resize(121, 24);
    adjustHeight();
    updateDisplay();
}

TCheckedComboBox::~TCheckedComboBox() = default;

QPixmap TCheckedComboBox::ButtonGlyph()
{
    QPixmap glyph(13, 13);
    glyph.fill(Qt::transparent);
    QPainter p(&glyph);
    p.setPen(Qt::black);
    // The dotted line: every second pixel of row 3.
    for (int x = 2; x <= 10; x += 2)
        p.drawPoint(x, 3);
    // The triangle below it, pointing down.
    p.setBrush(Qt::black);
    const QPoint triangle[] = {QPoint(2, 6), QPoint(10, 6), QPoint(6, 10)};
    p.drawPolygon(triangle, 3);
    return glyph;
}

void TCheckedComboBox::SetQuoteStyle(TCHBQuoteStyle style)
{
    m_items.SetQuoteStyle(style);
    updateDisplay();
}

void TCheckedComboBox::SetColumns(int columns)
{
    m_columns = columns;
    QListWidget *list = m_dropDown->List();
    if (columns > 1) {
        list->setFlow(QListView::TopToBottom);
        list->setWrapping(true);
        list->setResizeMode(QListView::Adjust);
    } else {
        list->setFlow(QListView::TopToBottom);
        list->setWrapping(false);
    }
}

void TCheckedComboBox::SetDropDownLines(int lines)
{
    if (lines >= kMinLines && lines <= kMaxLines)
        m_dropDownLines = lines;
}

void TCheckedComboBox::SetAllowNone(bool allow)
{
    m_items.SetAllowNone(allow);
    m_uncheckAll->setVisible(allow);
}

void TCheckedComboBox::SetColor(const QColor &color)
{
    m_color = color;
    for (QWidget *w : {static_cast<QWidget *>(m_edit), static_cast<QWidget *>(m_dropDown),
                       static_cast<QWidget *>(m_dropDown->List())}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Base, color);
        pal.setColor(QPalette::Window, color);
        w->setPalette(pal);
    }
}

void TCheckedComboBox::CheckOne()
{
    m_items.SetCurrentItem(m_dropDown->List()->currentRow());
    m_items.CheckOne();
}

bool TCheckedComboBox::DroppedDown() const { return m_dropDown->isVisible(); }

void TCheckedComboBox::ToggleItemByUser(int position)
{
    // Refused toggles (the last check without AllowNone) put the check straight back.
    if (!m_items.ToggleByUser(position))
        syncChecks();
}

void TCheckedComboBox::updateDisplay()
{
    m_edit->setText(m_items.ShownText());
    m_edit->setCursorPosition(0);
    if (isVisible() && !hasFocus())
        m_edit->update();
}

void TCheckedComboBox::refillList()
{
    QListWidget *list = m_dropDown->List();
    list->clear();
    for (int i = 0; i < m_items.Count(); ++i) {
        auto *item = new QListWidgetItem(m_items.ItemText(i), list);
        // The check is ours to set: a click goes through the AllowNone rule first.
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(m_items.IsItemChecked(i) ? Qt::Checked : Qt::Unchecked);
    }
}

void TCheckedComboBox::syncChecks()
{
    QListWidget *list = m_dropDown->List();
    if (list->count() != m_items.Count()) {
        refillList();
        return;
    }
    // Texts too: sorting reorders the items without changing their number.
    for (int i = 0; i < list->count(); ++i) {
        list->item(i)->setText(m_items.ItemText(i));
        list->item(i)->setCheckState(m_items.IsItemChecked(i) ? Qt::Checked : Qt::Unchecked);
    }
}

QRect TCheckedComboBox::DropDownRect(const QRect &screen) const
{
    const QFontMetrics metrics(font());
    const int lineHeight = qMax(m_dropDown->List()->sizeHintForRow(0), metrics.height());
    const int height = m_dropDownLines * lineHeight + 4;
    const QPoint below = mapToGlobal(QPoint(0, this->height()));
    QRect rect(below, QSize(width(), height));
    if (rect.bottom() > screen.bottom() - kScreenBottomMargin)
        rect.moveTop(mapToGlobal(QPoint(0, 0)).y() - height);
    return rect;
}

void TCheckedComboBox::DropDownClick()
{
    if (m_closedOverButton) {
        // The click that closed the list does not open it again.
        m_closedOverButton = false;
        return;
    }
    if (OnClick)
        OnClick();
    if (m_columns > 1)
        m_dropDownLines = m_items.Count() / m_columns + 1;
    m_dropDownLines = qBound(kMinLines, m_dropDownLines, kMaxLines);
    if (m_dropDown->List()->count() != m_items.Count())
        refillList();
    m_dropDown->setFont(font());
    m_dropDown->List()->setFont(font());
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect rect = DropDownRect(screen ? screen->geometry() : QRect(0, 0, 1024, 768));
    m_dropDown->setGeometry(rect);
    m_dropDown->List()->setGeometry(0, 0, rect.width(), rect.height());
    m_dropDown->show();
    m_dropDown->List()->setFocus();
}

void TCheckedComboBox::CloseUp()
{
    m_closedOverButton = m_button->isVisible() && m_button->rect().contains(m_button->mapFromGlobal(QCursor::pos()));
    if (m_dropDown->isVisible())
        m_dropDown->hide();
    if (OnCloseUp)
        OnCloseUp();
}

void TCheckedComboBox::adjustHeight()
{
    // As a single-line edit field: the font's height plus the border allowance.
    const int border = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 4;
    setFixedHeight(fontMetrics().height() + border);
    layoutParts();
}

void TCheckedComboBox::layoutParts()
{
    const QRect inner = contentsRect();
    const int buttonHeight = qMax(height() - 2, 1);
    m_button->setGeometry(width() - kButtonWidth - frameWidth(), (height() - buttonHeight) / 2, kButtonWidth,
                          qMin(buttonHeight, inner.height()));
    m_edit->setGeometry(inner.left(), inner.top(), qMax(inner.width() - kButtonWidth - 3, 0), inner.height());
}

void TCheckedComboBox::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    layoutParts();
}

void TCheckedComboBox::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        adjustHeight();
}
