#include "tablemodel.h"

TTableModel::TTableModel(TMemTable *table, QObject *parent) : QAbstractTableModel(parent), m_table(table)
{
    m_columns = table ? table->fieldCount() : 0;
    if (table) {
        connect(table, &TMemTable::dataSetChanged, this, &TTableModel::onDataSetChanged);
        connect(table, &TMemTable::currentChanged, this, &TTableModel::onCurrentChanged);
    }
}

int TTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_table || !m_table->active())
        return 0;
    return m_table->recordCount();
}

int TTableModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_table)
        return 0;
    return m_columns;
}

QVariant TTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_table || index.column() >= m_table->fieldCount())
        return QVariant();
    const int record = m_table->viewRecord(index.row());
    if (record < 0)
        return QVariant();
    const TField &f = m_table->field(index.column());
    switch (role) {
    case Qt::DisplayRole: return f.displayTextAt(record);
    case EditTextRole: return f.editTextAt(record);
    case ValueRole: return f.valueAt(record);
    case Qt::TextAlignmentRole: return int(f.alignment() | Qt::AlignVCenter);
    default: return QVariant();
    }
}

QVariant TTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || !m_table || section < 0 || section >= m_table->fieldCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    const TField &f = m_table->field(section);
    switch (role) {
    case Qt::DisplayRole: return f.displayLabel();
    case FieldNameRole: return f.fieldName();
    default: return QVariant();
    }
}

QString TTableModel::fieldName(int column) const
{
    return m_table && column >= 0 && column < m_table->fieldCount() ? m_table->field(column).fieldName() : QString();
}

QString TTableModel::displayLabel(int column) const
{
    return m_table && column >= 0 && column < m_table->fieldCount() ? m_table->field(column).displayLabel() : QString();
}

bool TTableModel::isVisible(int column) const
{
    return m_table && column >= 0 && column < m_table->fieldCount() && m_table->field(column).visible();
}

int TTableModel::displayWidth(int column) const
{
    return m_table && column >= 0 && column < m_table->fieldCount() ? m_table->field(column).displayWidth() : 0;
}

int TTableModel::columnOfField(const QString &name) const
{
    if (!m_table)
        return -1;
    const TField *f = m_table->findField(name);
    return f ? f->index() : -1;
}

int TTableModel::currentRow() const
{
    if (!m_table || !m_table->active() || m_table->isEmpty())
        return -1;
    return m_table->recNo() - 1;
}

void TTableModel::setCurrentRow(int row)
{
    if (m_table && m_table->active() && row >= 0 && row < m_table->recordCount())
        m_table->setRecNo(row + 1);
}

int TTableModel::recordOfRow(int row) const { return m_table ? m_table->viewRecord(row) : -1; }

void TTableModel::onDataSetChanged()
{
    beginResetModel();
    m_columns = m_table ? m_table->fieldCount() : 0;
    endResetModel();
}

void TTableModel::onCurrentChanged() { emit currentRowChanged(currentRow()); }
