#include "dboutput_html.h"

#include "clock.h"
#include "displayformat.h"
#include "formatsettings.h"
#include "lcscommon.h"
#include "memtable.h"
#include "myutils.h"

namespace {
// The no-break space as a character reference: the named entity needs the DTD,
// and readers that do not fetch it refuse the page.
const QString kNbsp = QStringLiteral("&#160;");

const char *const kHead[] = {
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>",
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" \"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">",
    "<html xmlns=\"http://www.w3.org/1999/xhtml\">",
    "  <head>",
    "    <meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"/>",
};
const char *const kStyle[] = {
    "    <style type=\"text/css\">",
    "      body {font-family: Tahoma, Arial, Verdana, sans-serif; font-size:12px; margin:20px;}",
    "      hr {border-width: 1px; height:1px; color:black;}",
    "      table{font-family: Tahoma, Arial, Verdana, sans-serif; font-size:12px; text-align:left; padding:0px; "
    "border:0px;}",
    "      th {font-weight:bold;}",
    "      th,td {padding-right:1em;}",
    "      .rt {text-align:right;}",
    "      .ct {text-align:center;}",
    "    </style>",
    "  </head>",
    "  <body>",
};

QString classOf(const TField &field)
{
    const Qt::Alignment a = field.alignment();
    if (a & Qt::AlignRight)
        return QStringLiteral(" class=\"rt\"");
    if (a & Qt::AlignHCenter)
        return QStringLiteral(" class=\"ct\"");
    return QString();
}

bool isMemo(const TField &field) { return field.dataType() == TFieldType::Memo; }

QString cellText(const TField &field, int record)
{
    if (isMemo(field))
        return field.asStringAt(record).replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return field.displayTextAt(record);
}

bool hasNumberFormat(TFieldType type)
{
    return IsIntegerType(type) || type == TFieldType::Float || type == TFieldType::Currency
           || type == TFieldType::BCD;
}

QString generalNumber(double value)
{
    QString text = QString::number(value, 'g', 15);
    text.replace(QLatin1Char('.'), SystemFormats().decimalSeparator);
    return text;
}

QString sumText(const TField &field, long double sum)
{
    const double value = double(sum);
    if (hasNumberFormat(field.dataType()) && !field.displayFormat().isEmpty())
        return FormatNumber(field.displayFormat(), value);
    return generalNumber(value);
}

QString rule(size_t columns)
{
    return QStringLiteral("      <tr><td colspan=\"%1\"><hr/></td></tr>").arg(columns);
}
} // namespace

TExportTexts Tdboutput_html::Texts()
{
    return {CommonText(140), CommonText(141) + QStringLiteral(" (*.htm, *.html)|*.htm;*.html"),
            QStringLiteral("html"), CommonText(140), CommonText(67), CommonText(142), true};
}

QByteArray Tdboutput_html::Build(TMemTable &dataset, const Tdboutputsfields &fields, const QString &title,
                                 const QString &filterText, bool printTimestamp, bool printRecordCount,
                                 const TRowProgress &progress)
{
    QByteArray out;
    auto line = [&out](const QString &text) {
        out += text.toUtf8();
        out += "\r\n";
    };
    // The title, filter and date are the user's and the system's texts, so they
    // are escaped like every cell: a title "a & b" must not break the document.
    const QString safeTitle = HtmlEscape(title);
    for (const char *l : kHead)
        line(QString::fromLatin1(l));
    line(QStringLiteral("    <title>") + safeTitle + QStringLiteral("</title>"));
    for (const char *l : kStyle)
        line(QString::fromLatin1(l));
    line(QStringLiteral("    <div style=\"text-align:center;font-weight:bold;text-decoration:underline;\">") + safeTitle
         + QStringLiteral("<br/><br/></div>"));
    if (printTimestamp) {
        const double now = Now();
        QString stamp = CommonText(59);
        stamp.replace(QStringLiteral("%s"), FormatShortDate(now) + QLatin1Char(' ') + FormatLongTime(now));
        line(QStringLiteral("    <div>") + HtmlEscape(stamp) + QStringLiteral("</div>"));
    }
    if (!filterText.isEmpty()) {
        QString filter = HtmlEscape(filterText);
        filter.replace(QStringLiteral("\r\n"), QStringLiteral("<br/>"));
        line(QStringLiteral("    <div>") + filter + QStringLiteral("</div>"));
    }
    line(QStringLiteral("    <p></p>"));
    line(QStringLiteral("    <table>"));
    line(QStringLiteral("      <tr>"));

    std::vector<const TField *> columns;
    std::vector<QString> classes;
    bool anySum = false;
    for (const Tdboutputsfield &f : fields) {
        const TField &field = dataset.field(f.FieldIndex);
        columns.push_back(&field);
        classes.push_back(classOf(field));
        anySum = anySum || f.Sum;
        line(QStringLiteral("        <th") + classes.back() + QLatin1Char('>') + HtmlEscape(f.Caption)
             + QStringLiteral("</th>"));
    }
    line(QStringLiteral("      </tr>"));
    line(rule(fields.size()));

    std::vector<long double> sums(fields.size(), 0.0L);
    int rows = 0;
    QString row;
    ForEachRow(dataset, [&](int record) {
        row = QStringLiteral("      <tr>");
        for (size_t i = 0; i < columns.size(); ++i) {
            row += QStringLiteral("<td") + classes[i] + QLatin1Char('>') + HtmlEscape(cellText(*columns[i], record))
                   + QStringLiteral("</td>");
            if (fields[i].Sum)
                sums[i] += columns[i]->asFloatAt(record);
        }
        row += QStringLiteral("</tr>");
        line(row);
        ++rows;
        if (progress)
            progress(rows);
    });

    if (anySum) {
        line(rule(fields.size()));
        QString sumRow = QStringLiteral("      <tr style=\"font-weight:bold;\">");
        for (size_t i = 0; i < columns.size(); ++i) {
            QString cell;
            if (fields[i].Sum)
                cell = HtmlEscape(sumText(*columns[i], sums[i]));
            else if (i == 0)
                cell = HtmlEscape(CommonText(60)) + kNbsp;
            else
                cell = kNbsp;
            sumRow += QStringLiteral("<td") + classes[i] + QLatin1Char('>') + cell + QStringLiteral("</td>");
        }
        sumRow += QStringLiteral("</tr>");
        line(sumRow);
    }
    line(QStringLiteral("    </table>"));
    if (printRecordCount)
        line(QStringLiteral("    <div><br/><strong>") + HtmlEscape(CommonText(61)) + QStringLiteral("</strong>")
             + FormatNumber(QStringLiteral("#,##0"), rows) + QStringLiteral("</div>"));
    line(QStringLiteral("  </body>"));
    line(QStringLiteral("</html>"));
    return out;
}

bool Tdboutput_html::Execute(TMemTable &dataset, Tdboutputsfields fields, bool offerOpen, const QString &title,
                             const QString &filterText, bool printTimestamp, bool printRecordCount)
{
    return RunExport(Texts(), dataset, fields, offerOpen, [&](const QString &fileName, const TRowProgress &progress) {
        SaveBytes(Build(dataset, fields, title, filterText, printTimestamp, printRecordCount, progress), fileName);
        return fileName;
    });
}

void Tdboutput_html::ExportToFile(TMemTable &dataset, Tdboutputsfields fields, const QString &title,
                                  const QString &filterText, bool printTimestamp, bool printRecordCount,
                                  const QString &fileName)
{
    RunExport(Texts(), dataset, fields, false, [&](const QString &target, const TRowProgress &progress) {
        SaveBytes(Build(dataset, fields, title, filterText, printTimestamp, printRecordCount, progress), target);
        return target;
    }, fileName);
}
