// Exports of a large call log from the writer entry down to the file: CSV and HTML
// of 100,000 calls, XLS of 65,000 (a sheet's limit), and the XLS buffer's size; the
// printed list of 10,000 calls as a PDF document.
#include "dboutput_csv.h"
#include "dboutput_html.h"
#include "dboutput_print.h"
#include "dboutput_xls.h"
#include "formatsettings.h"
#include "memtable.h"
#include "mxNativeExcel.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
void fill(TMemTable &t, int rows)
{
    t.addFieldDef(QStringLiteral("IDAUDIO"), TFieldType::AutoInc);
    t.addFieldDef(QStringLiteral("CALLTYPE"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("CALLTYPENAME"), TFieldType::String, 20);
    t.addFieldDef(QStringLiteral("WHENSTART"), TFieldType::DateTime);
    t.addFieldDef(QStringLiteral("WHENLENGTH"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("AUDIOSIZEKB"), TFieldType::Float);
    t.addFieldDef(QStringLiteral("PHONENUMBER"), TFieldType::String, 30);
    t.createDataSet();
    for (int i = 0; i < rows; ++i) {
        const int r = int((uint32_t(i) * 2654435761u) % 1000000u);
        t.insert();
        t.fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(1 + r % 5);
        t.fieldByName(QStringLiteral("CALLTYPENAME")).setAsString(QStringLiteral("Příchozí"));
        t.fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(EncodeDate(2006, 1, 1) + i / 50.0);
        t.fieldByName(QStringLiteral("WHENLENGTH")).setAsInteger(r % 900);
        t.fieldByName(QStringLiteral("AUDIOSIZEKB")).setAsFloat(r / 7.0);
        t.fieldByName(QStringLiteral("PHONENUMBER")).setAsString(QStringLiteral("60%1").arg(r, 7, 10, QLatin1Char('0')));
        t.post();
    }
    t.first();
}

Tdboutputsfields allFields(TMemTable &t)
{
    Tdboutputsfields fields;
    for (int i = 1; i < t.fieldCount(); ++i)
        fields.push_back({t.field(i).fieldName(), -1, QString(), 100, i == 4});
    return fields;
}

void BM_Csv(benchmark::State &state)
{
    TMemTable t;
    fill(t, int(state.range(0)));
    QTemporaryDir dir;
    for (auto _ : state)
        Tdboutput_csv::ExportToFile(t, allFields(t), true, dir.filePath(QStringLiteral("a.csv")));
}
BENCHMARK(BM_Csv)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Html(benchmark::State &state)
{
    TMemTable t;
    fill(t, int(state.range(0)));
    QTemporaryDir dir;
    for (auto _ : state)
        Tdboutput_html::ExportToFile(t, allFields(t), QStringLiteral("Výpis"), QString(), true, true,
                                     dir.filePath(QStringLiteral("a.html")));
}
BENCHMARK(BM_Html)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Xls(benchmark::State &state)
{
    TMemTable t;
    fill(t, int(state.range(0)));
    QTemporaryDir dir;
    for (auto _ : state)
        Tdboutput_xls::ExportToFile(t, allFields(t), true, dir.filePath(QStringLiteral("a.xls")));
    // The size of the sheet the writer holds in memory before saving it.
    TmxNativeExcel excel;
    Tdboutputsfields fields = allFields(t);
    Tdboutputs::Prepare(t, fields);
    Tdboutput_xls::Build(excel, t, fields, true);
    state.counters["buffer_MB"] = double(excel.Buffer().size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_Xls)->Arg(65000)->Unit(benchmark::kMillisecond)->UseRealTime();
// The printed list as the direct PDF makes it: the report built, stored and read
// back, run into pages, and the PDF written with its font subsets.
void BM_PrintPdf(benchmark::State &state)
{
    TMemTable t;
    fill(t, int(state.range(0)));
    QTemporaryDir dir;
    Tdboutputsfields fields{{QStringLiteral("CALLTYPENAME"), -1, QString(), 100, false},
                            {QStringLiteral("WHENSTART"), -1, QString(), 140, false},
                            {QStringLiteral("WHENLENGTH"), -1, QString(), 80, true},
                            {QStringLiteral("PHONENUMBER"), -1, QString(), 120, false}};
    const QString file = dir.filePath(QStringLiteral("a.pdf"));
    for (auto _ : state)
        Tdboutput_print::ExportToFile(t, fields, QStringLiteral("Výpis"), QString(), true, true, 0, file);
    state.counters["KiB"] = double(QFileInfo(file).size()) / 1024;
}
BENCHMARK(BM_PrintPdf)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace
