#pragma once
#include <QStringList>
#include <vector>

#include "reportrunner.h"

// A data view of fixed rows: texts, with a number read from the text.
class TListSource : public TReportDataSource {
public:
    TListSource(QStringList fields, std::vector<QStringList> rows) : m_fields(std::move(fields)), m_rows(std::move(rows)) {}
    int rowCount() const override { return int(m_rows.size()); }
    int fieldIndex(const QString &name) const override { return int(m_fields.indexOf(name)); }
    QString displayText(int row, int field) const override { return m_rows[size_t(row)][field]; }
    double number(int row, int field) const override { return m_rows[size_t(row)][field].toDouble(); }
    bool isNull(int row, int field) const override { return m_rows[size_t(row)][field].isEmpty(); }

private:
    QStringList m_fields;
    std::vector<QStringList> m_rows;
};

// The Czech letters every PDF test must get back.
extern const QString kCzechLower;
extern const QString kCzechUpper;

// Rows of calls: type name, number, length in seconds.
TListSource CallRows(int count);

// A list report over the view "DataView1" with the fields TYPE, NUMBER, LENGTH:
// title (bold, underlined), a page header with captions and a rule, a detail
// band, a footer with the sum of LENGTH and the row count, and "Strana p/n"
// anchored to the bottom edge.
TReportProject ListReport(const QString &title, int orientation = 0);

TPageStream RunList(const TReportProject &project, const TReportDataSource &rows, const TReportRunOptions &options = {});

// Every text of a page, in the order laid out.
QStringList PageTexts(const TStreamPage &page);
