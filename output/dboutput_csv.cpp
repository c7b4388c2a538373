#include "dboutput_csv.h"

#include "codepage1250.h"
#include "lcscommon.h"
#include "memtable.h"

namespace {
// Separators inside a value would shift the columns; line breaks would split the row.
QString cleanValue(QString text)
{
    text.replace(QLatin1Char(';'), QLatin1Char(','));
    text.replace(QLatin1Char('|'), QLatin1Char(','));
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}
} // namespace

TExportTexts Tdboutput_csv::Texts()
{
    return {CommonText(42), CommonText(43) + QStringLiteral(" (*.csv)|*.csv"), QStringLiteral("csv"),
            CommonText(66), CommonText(67), CommonText(68), false};
}

QByteArray Tdboutput_csv::Build(TMemTable &dataset, const Tdboutputsfields &fields, bool exportHeader,
                                const TRowProgress &progress)
{
    QByteArray out;
    QString line;
    auto endLine = [&] {
        line += QStringLiteral("\r\n");
        out += EncodeCp1250(line);
        line.clear();
    };
    if (exportHeader) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                line += QLatin1Char(';');
            line += cleanValue(fields[i].Caption);
        }
        endLine();
    }
    std::vector<const TField *> columns;
    for (const Tdboutputsfield &f : fields)
        columns.push_back(&dataset.field(f.FieldIndex));
    int rows = 0;
    ForEachRow(dataset, [&](int record) {
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i > 0)
                line += QLatin1Char(';');
            line += cleanValue(columns[i]->asStringAt(record));
        }
        endLine();
        ++rows;
        if (progress)
            progress(rows);
    });
    return out;
}

bool Tdboutput_csv::Execute(TMemTable &dataset, Tdboutputsfields fields, bool offerOpen, bool exportHeader)
{
    return RunExport(Texts(), dataset, fields, offerOpen, [&](const QString &fileName, const TRowProgress &progress) {
        SaveBytes(Build(dataset, fields, exportHeader, progress), fileName);
        return fileName;
    });
}

void Tdboutput_csv::ExportToFile(TMemTable &dataset, Tdboutputsfields fields, bool exportHeader,
                                 const QString &fileName)
{
    RunExport(Texts(), dataset, fields, false, [&](const QString &target, const TRowProgress &progress) {
        SaveBytes(Build(dataset, fields, exportHeader, progress), target);
        return target;
    }, fileName);
}
