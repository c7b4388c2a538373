#pragma once
#include <QHash>
#include <QString>
#include <functional>

#include "pagestream.h"
#include "reportmodel.h"

// Rows the data band runs over: a data view of a dataset, seen by row number.
class TReportDataSource {
public:
    virtual ~TReportDataSource() = default;
    virtual int rowCount() const = 0;
    virtual int fieldIndex(const QString &name) const = 0; // -1 when there is none
    virtual QString displayText(int row, int field) const = 0;
    virtual double number(int row, int field) const = 0;
    virtual bool isNull(int row, int field) const = 0;
    // A computed value shown with the control's display format.
    virtual QString formatNumber(int field, const QString &format, double value) const;
};

// Numbers in a display format; without one, whole numbers plainly.
QString DefaultFormatNumber(const QString &format, double value);

// The data views a report runs over, by name.
using TReportViews = QHash<QString, const TReportDataSource *>;

struct TReportRunOptions {
    int orientation = -1; // -1 the report's own (the printer's default counts as portrait), 0 portrait, 1 landscape
    QString pageStatusFormat = QStringLiteral("%p"); // "%p" becomes the page being produced
    std::function<void(const QString &)> pageStatus;
};

// Lays the report out into pages. Raises EReportError for a report or data
// view that is not there and for expressions it cannot read.
TPageStream RunReport(const TReportProject &project, const QString &reportName, const TReportViews &views,
                      const TReportRunOptions &options = {});
