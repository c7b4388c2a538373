// The list frame over a large call log: sorting both ways, counting a filter,
// and painting one screen of the grid.
#include "dbfrg.h"
#include "formatsettings.h"
#include "memtable.h"
#include "myutils.h"
#include "tablemodel.h"

#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
void fill(TMemTable &t, int rows)
{
    t.addFieldDef(QStringLiteral("IDAUDIO"), TFieldType::AutoInc);
    t.addFieldDef(QStringLiteral("CALLTYPE"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("WHENSTART"), TFieldType::DateTime);
    t.addFieldDef(QStringLiteral("WHENLENGTH"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("PHONENUMBER"), TFieldType::String, 30);
    t.createDataSet();
    for (int i = 0; i < rows; ++i) {
        const int r = int((uint32_t(i) * 2654435761u) % 1000000u);
        t.insert();
        t.fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(1 + r % 5);
        t.fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(EncodeDate(2006, 1, 1) + i / 50.0);
        t.fieldByName(QStringLiteral("WHENLENGTH")).setAsInteger(r % 900);
        t.fieldByName(QStringLiteral("PHONENUMBER")).setAsString(QStringLiteral("60%1").arg(r, 7, 10, QLatin1Char('0')));
        t.post();
    }
    t.setIndexFieldNames(QStringLiteral("WHENSTART"));
    t.first();
}

struct Fixture {
    explicit Fixture(int rows)
    {
        SetDataDirectory(dir.path());
        fill(table, rows);
        frame.resize(900, 600);
        frame.InitFrame(&model);
        frame.show();
    }
    QTemporaryDir dir;
    TMemTable table;
    TTableModel model{&table};
    Tfrg frame;
};

void BM_SortNumberBothWays(benchmark::State &state)
{
    Fixture f(int(state.range(0)));
    const int number = f.frame.gr->ColumnOfField(QStringLiteral("PHONENUMBER"));
    for (auto _ : state) {
        f.frame.SortByColumn(number, true);
        f.frame.SortByColumn(number, false);
        f.table.first();
    }
    state.SetItemsProcessed(state.iterations() * 2 * state.range(0));
}
BENCHMARK(BM_SortNumberBothWays)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_CountFilteredRecords(benchmark::State &state)
{
    Fixture f(int(state.range(0)));
    f.table.setFilter(QStringLiteral("CALLTYPE IN (2,3)"));
    f.table.setFiltered(true);
    int count = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(count = f.frame.CountRecords(false));
    state.counters["rows"] = count;
}
BENCHMARK(BM_CountFilteredRecords)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_PaintOneScreen(benchmark::State &state)
{
    Fixture f(int(state.range(0)));
    for (auto _ : state) {
        const QPixmap picture = f.frame.gr->viewport()->grab();
        benchmark::DoNotOptimize(picture.cacheKey());
    }
}
BENCHMARK(BM_PaintOneScreen)->Arg(20000)->Unit(benchmark::kMillisecond);
} // namespace

