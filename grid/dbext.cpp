#include "dbext.h"

#include "dbgridex.h"
#include "lcscommon.h"
#include "memtable.h"
#include "tablemodel.h"

namespace {
constexpr int kMemoDisplayLength = 100;
} // namespace

QString MemoDisplayText(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return shown.left(kMemoDisplayLength);
}

void SetFieldDisplayFormat(TField &field)
{
    switch (field.dataType()) {
    case TFieldType::Integer:
        field.setDisplayFormat(QStringLiteral("#,##0"));
        field.setEditFormat(QStringLiteral("0"));
        break;
    case TFieldType::Float:
    case TFieldType::Currency:
    case TFieldType::BCD:
        field.setDisplayFormat(QStringLiteral("#,##0.00"));
        field.setEditFormat(QStringLiteral("0.00"));
        break;
    case TFieldType::Date:
        field.setDisplayFormat(QStringLiteral("dd.mm.yyyy"));
        break;
    case TFieldType::Time:
        field.setDisplayFormat(QStringLiteral("hh:nn:ss"));
        break;
    case TFieldType::DateTime:
        field.setDisplayFormat(QStringLiteral("dd.mm.yyyy hh:nn:ss"));
        break;
    case TFieldType::Memo:
        field.setOnGetText([](const TField &f, int record, bool displayText) {
            const QString text = f.asStringAt(record);
            return displayText ? MemoDisplayText(text) : text;
        });
        break;
    default:
        break;
    }
}

void ApplyDisplayFormats(TDBGridEx &grid)
{
    TTableModel *model = grid.TableModel();
    TMemTable *table = model ? model->table() : nullptr;
    if (!table)
        return;
    for (const TColumn &c : grid.Columns()) {
        if (!c.Visible || c.FieldName.isEmpty())
            continue;
        if (TField *field = table->findField(c.FieldName))
            SetFieldDisplayFormat(*field);
    }
    grid.viewport()->update();
}

void ReplaceDataMessages()
{
    ReplaceResourceString(rsInvalidDate, CommonText(77));
    ReplaceResourceString(rsInvalidFloatForField, CommonText(20));
    ReplaceResourceString(rsDeleteRecordQuestion, CommonText(21));
}
