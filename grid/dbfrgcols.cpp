#include "dbfrgcols.h"

#include "dbgridex.h"
#include "lcscommon.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace {
QToolButton *arrowButton(QWidget *parent, Qt::ArrowType arrow, const QString &hint, bool toEnd)
{
    auto *button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setToolTip(hint);
    button->setAutoRaise(true);
    // The "to the top/bottom" buttons carry a bar across their arrow.
    if (toEnd)
        button->setText(arrow == Qt::UpArrow ? QStringLiteral("⤒") : QStringLiteral("⤓"));
    if (toEnd)
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}
} // namespace

Tfdbfrgcols::Tfdbfrgcols(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setWindowTitle(CommonText(160));
    setFixedSize(264, 314);

    auto *group = new QGroupBox(this);
    group->setGeometry(6, 2, 252, 268);
    lb = new QListWidget(group);
    lb->setGeometry(8, 14, 200, 246);
    lb->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lb->setUniformItemSizes(true);

    spbtop = arrowButton(group, Qt::UpArrow, QString(), true);
    spbtop->setGeometry(216, 14, 28, 26);
    spbup = arrowButton(group, Qt::UpArrow, CommonText(37), false);
    spbup->setGeometry(216, 44, 28, 26);
    spbdn = arrowButton(group, Qt::DownArrow, CommonText(38), false);
    spbdn->setGeometry(216, 74, 28, 26);
    spbbottom = arrowButton(group, Qt::DownArrow, QString(), true);
    spbbottom->setGeometry(216, 104, 28, 26);

    // The buttons are as wide as their captions need in the font in use; the window
    // grows with them rather than cutting a caption.
    btndefault = new QPushButton(CommonText(161), this);
    const int defaultWidth = std::max(170, btndefault->sizeHint().width() + 8);
    btndefault->setGeometry(6, 280, defaultWidth, 25);
    btnclose = new QPushButton(CommonText(15), this);
    const int closeWidth = std::max(74, btnclose->sizeHint().width());
    const int closeLeft = std::max(184, 6 + defaultWidth + 8);
    btnclose->setGeometry(closeLeft, 280, closeWidth, 25);
    btnclose->setDefault(true);
    if (closeLeft + closeWidth + 6 > width()) {
        setFixedSize(closeLeft + closeWidth + 6, height());
        group->resize(width() - 12, group->height());
    }

    connect(lb, &QListWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(spbup, &QToolButton::clicked, this, [this] { MoveSelection(-1); });
    connect(spbdn, &QToolButton::clicked, this, [this] { MoveSelection(1); });
    connect(spbtop, &QToolButton::clicked, this, [this] {
        const auto rows = lb->selectionModel()->selectedRows();
        if (!rows.isEmpty())
            MoveSelection(-std::min_element(rows.begin(), rows.end())->row());
    });
    connect(spbbottom, &QToolButton::clicked, this, [this] {
        const auto rows = lb->selectionModel()->selectedRows();
        if (!rows.isEmpty())
            MoveSelection(lb->count() - 1 - std::max_element(rows.begin(), rows.end())->row());
    });
    connect(btndefault, &QPushButton::clicked, this, [this] {
        if (m_standardAction)
            m_standardAction();
        refill();
    });
    // Closing keeps every change: "close" is both the default and the cancel button.
    connect(btnclose, &QPushButton::clicked, this, &QDialog::reject);

    if (QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
    UpdateButtons();
}

void Tfdbfrgcols::Fill(TDBGridEx *grid, std::function<void()> standardAction)
{
    m_grid = grid;
    m_standardAction = std::move(standardAction);
    btndefault->setVisible(bool(m_standardAction));
    refill();
}

void Tfdbfrgcols::refill()
{
    lb->clear();
    if (m_grid) {
        for (const TColumn &c : m_grid->Columns())
            if (c.Visible)
                lb->addItem(c.Title.Caption);
    }
    UpdateButtons();
}

int Tfdbfrgcols::gridIndexOfEntry(int entry) const
{
    // The list holds the visible columns in grid order, so entry n is the n-th visible column.
    int seen = -1;
    for (int i = 0; i < m_grid->ColumnCount(); ++i) {
        if (m_grid->Columns()[size_t(i)].Visible && ++seen == entry)
            return i;
    }
    return -1;
}

void Tfdbfrgcols::UpdateButtons()
{
    bool any = false, first = false, last = false;
    for (int i = 0; i < lb->count(); ++i) {
        if (!lb->item(i)->isSelected())
            continue;
        any = true;
        first = first || i == 0;
        last = last || i == lb->count() - 1;
    }
    spbup->setEnabled(any && !first);
    spbtop->setEnabled(any && !first);
    spbdn->setEnabled(any && !last);
    spbbottom->setEnabled(any && !last);
}

void Tfdbfrgcols::MoveSelection(int k)
{
    if (!m_grid || k == 0)
        return;
    std::vector<int> selected;
    for (int i = 0; i < lb->count(); ++i)
        if (lb->item(i)->isSelected())
            selected.push_back(i);
    if (k > 0)
        std::reverse(selected.begin(), selected.end());
    for (const int i : selected) {
        const int target = i + k;
        if (target < 0 || target >= lb->count())
            continue;
        const int from = gridIndexOfEntry(i);
        const int to = gridIndexOfEntry(target);
        m_grid->MoveColumn(from, to);
        QListWidgetItem *item = lb->takeItem(i);
        lb->insertItem(target, item);
        item->setSelected(true);
    }
    UpdateButtons();
}

void Tfdbfrgcols::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    lb->setFocus();
}
