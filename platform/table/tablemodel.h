#pragma once
#include <QAbstractTableModel>
#include <QPointer>

#include "memtable.h"

// A read-only item model over a table: one model row per row of the table's
// view (current order and filter), one column per field. Texts come from the
// fields' display hooks and formats. Follows the table's notifications, so it
// stays still while the table's controls are disabled.
class TTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Roles beyond Qt's: the raw value, and the field name of a column in headerData.
    enum Roles { ValueRole = Qt::UserRole + 1, EditTextRole, FieldNameRole };

    explicit TTableModel(TMemTable *table, QObject *parent = nullptr);
    TMemTable *table() const { return m_table; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // What a grid needs per column.
    QString fieldName(int column) const;
    QString displayLabel(int column) const;
    bool isVisible(int column) const;
    int displayWidth(int column) const; // in characters
    int columnOfField(const QString &fieldName) const; // -1 when there is none

    // The table's current row as a model row (-1 when the table is empty), and back.
    int currentRow() const;
    void setCurrentRow(int row); // moves the table's cursor
    int recordOfRow(int row) const;

signals:
    void currentRowChanged(int row);

private:
    void onDataSetChanged();
    void onCurrentChanged();
    QPointer<TMemTable> m_table;
    int m_columns = 0;
};
