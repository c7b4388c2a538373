#pragma once
#include <QString>
#include <vector>

#include "reportmodel.h"
#include "reportrunner.h"

class TMemTable;

// The list report that prints any grid: a title band with the date and filter
// lines, captions with a rule on every page, one line per row, the sums and the
// record count, and the page number at the foot of each page.

struct TListReportField {
    QString fieldName;
    QString caption;
    int widthPixels = 64; // the grid column's width on the screen
    TJustify justify = TJustify::Left;
    bool sum = false;
    QString displayFormat;
};

struct TListReportOptions {
    QString fullName;       // page stream title and print job name
    QString title;
    QString dateTimeText;   // "Výpis vytvořen: ..." line; empty for none
    QString filterText;     // lines separated by CR LF; empty for none
    bool recordCount = true;
    int orientation = 0;    // 0 portrait, 1 landscape, 2 the printer's
    double marginLeft = 0.25, marginTop = 0.25, marginRight = 0.25, marginBottom = 0.25; // inches, at least 0.25
    double screenPixelsPerInch = 96;
    QString dataView = QStringLiteral("DataView1");
};

TReportProject BuildListReport(const std::vector<TListReportField> &fields, const TListReportOptions &options);

// The rows of a table's view (its filter and order), as the report's data view.
class TTableReportSource : public TReportDataSource {
public:
    explicit TTableReportSource(const TMemTable &table) : m_table(table) {}
    int rowCount() const override;
    int fieldIndex(const QString &name) const override;
    QString displayText(int row, int field) const override;
    double number(int row, int field) const override;
    bool isNull(int row, int field) const override;
    QString formatNumber(int field, const QString &format, double value) const override;

private:
    const TMemTable &m_table;
};
