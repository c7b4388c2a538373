#include "stattmb.h"

#include <QCategoryAxis>
#include <QTabWidget>
#include <QFile>
#include <QLineSeries>
#include <QPushButton>
#include <QTest>
#include <QSet>
#include <gtest/gtest.h>
#include <numeric>

#include "dbfrg.h"
#include "dbgridex.h"
#include "tablemodel.h"
#include "dialogkit.h"
#include "dtpicker.h"
#include "formatsettings.h"
#include "support/scriptedmessagebox.h"
#include "support/tempdatadir.h"
#include "udmcd.h"
#include "windowfont.h"

#include <QFontInfo>

namespace {

// Computed on use: the date functions are not ready while globals are built.
double June1() { return EncodeDate(2006, 6, 1); }

double At(int day, int hour, int minute) { return EncodeDate(2006, 6, day) + EncodeTime(hour, minute, 0); }

class StatisticsWindowTest : public DataDirTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_DELIVERED_DATA_XML), Tdmcd::DataFileName()));
        QFile::setPermissions(Tdmcd::DataFileName(), QFile::ReadOwner | QFile::WriteOwner);
        dmcd.OpenCallLog();
        window = std::make_unique<Tfstattmb>(&dmcd);
    }

    void call(int type, double start, int seconds)
    {
        dmcd.AddCall(type, 0, start, start + seconds / 86400.0, QStringLiteral("603123456"), QString());
    }
    void compute(TDateChoice from, TDateChoice to)
    {
        window->SetDates(from, to);
        window->frg_statspbfilterClick();
    }
    QList<int> counts(QLineSeries *series) const
    {
        QList<int> result;
        for (const QPointF &p : series->points())
            result.append(int(p.y()));
        return result;
    }
    // The cd_stat rows as "type:count:total:longest:shortest:average".
    QStringList statRows() const
    {
        QStringList rows;
        TMemTable &t = *dmcd.cd_stat;
        for (t.first(); !t.eof(); t.next()) {
            QStringList cells;
            for (const char *f : {"CALLTYPE", "C1", "C2", "C3", "C4", "C5"})
                cells << QString::number(t.fieldByName(QLatin1String(f)).asInteger());
            rows << cells.join(QLatin1Char(':'));
        }
        return rows;
    }

    ScriptedMessageBox boxes;
    Tdmcd dmcd;
    std::unique_ptr<Tfstattmb> window;
};

TEST_F(StatisticsWindowTest, ListUsesTheFontOfTheOtherLists)
{
    // Where Tahoma is missing a plain "Tahoma" falls to a wider face than the call list's.
    const QFontInfo list(window->frg_stat->gr->font());
    const QFontInfo program(WindowFont());
    EXPECT_EQ(list.family(), program.family());
    EXPECT_EQ(list.pointSize(), program.pointSize());
}

TEST_F(StatisticsWindowTest, OneDayHasHourlyPointsEndingWithTheNextDate)
{
    call(2, At(1, 10, 20), 10);
    call(2, At(1, 10, 40), 20);
    call(2, At(1, 11, 5), 31);
    call(3, At(1, 23, 59), 5);
    call(2, At(2, 0, 0), 60); // the next day lies outside
    compute({June1(), true}, {June1(), true});

    QStringList labels;
    for (int h = 1; h <= 23; ++h)
        labels << QStringLiteral("%1h").arg(h);
    labels << QStringLiteral("2.6");
    EXPECT_EQ(window->PointLabels(), labels);

    QList<int> outgoing(24, 0);
    outgoing[10] = 2; // 10:00-11:00, the point 11h
    outgoing[11] = 1; // 11:00-12:00, the point 12h
    EXPECT_EQ(counts(window->Series1), outgoing);
    QList<int> incoming(24, 0);
    incoming[23] = 1;
    EXPECT_EQ(counts(window->Series2), incoming);
    // Each point stands at the end of its bucket.
    EXPECT_DOUBLE_EQ(window->Series1->points().first().x(), June1() + 1 / 24.0);
    EXPECT_DOUBLE_EQ(window->Series1->points().last().x(), June1() + 1);

    EXPECT_EQ(statRows(), QStringList({QStringLiteral("2:3:61:31:10:20"), QStringLiteral("3:1:5:5:5:5"),
                                       QStringLiteral("6:4:66:31:5:16")}));
    EXPECT_EQ(window->frg_stat->spbfilter->toolTip(), QStringLiteral("Datum hovorů od:: 1.6.2006 - 1.6.2006"));
}

TEST_F(StatisticsWindowTest, FiveDaysHaveFiveHourBuckets)
{
    call(3, At(3, 14, 59), 5);
    call(3, At(3, 15, 0), 5);
    compute({June1(), true}, {EncodeDate(2006, 6, 5), true});
    const QStringList &labels = window->PointLabels();
    ASSERT_EQ(labels.size(), 25);
    for (int day = 0; day < 5; ++day) {
        EXPECT_EQ(labels.mid(day * 5, 5), QStringList({QStringLiteral("5h"), QStringLiteral("10h"), QStringLiteral("15h"),
                                                       QStringLiteral("20h"), QStringLiteral("%1.6").arg(day + 2)}));
    }
    // 3 June: 10:00-15:00 holds the first call, 15:00-20:00 the second.
    const QList<int> incoming = counts(window->Series2);
    EXPECT_EQ(incoming[12], 1);
    EXPECT_EQ(incoming[13], 1);
    EXPECT_EQ(std::accumulate(incoming.begin(), incoming.end(), 0), 2);
    EXPECT_DOUBLE_EQ(window->Series2->points()[13].x(), EncodeDate(2006, 6, 3) + 20 / 24.0);
}

TEST_F(StatisticsWindowTest, BucketCountsMatchTheChartExpressionAtEveryBoundary)
{
    const double june2 = EncodeDate(2006, 6, 2);
    for (double start : {June1(), june2 + EncodeTime(5, 0, 0), june2 + EncodeTime(4, 59, 59, 999),
                         june2 + EncodeTime(9, 59, 59, 500), june2 + EncodeTime(10, 0, 0),
                         EncodeDate(2006, 6, 5) + EncodeTime(23, 59, 59), EncodeDate(2006, 6, 6)}) {
        for (int type = 1; type <= 5; ++type)
            call(type, start, 1);
    }
    compute({June1(), true}, {EncodeDate(2006, 6, 5), true});
    ASSERT_EQ(window->PointLabels().size(), 25);

    dmcd.cd_tmp->copyFrom(*dmcd.tb_audio); // the window closes its work copy when the chart is drawn
    const QList<QPointF> outgoing = window->Series1->points();
    const QList<QPointF> incoming = window->Series2->points();
    int total = 0;
    double bucketStart = June1();
    for (int i = 0; i < outgoing.size(); ++i) {
        const double bucketEnd = outgoing[i].x();
        EXPECT_EQ(int(outgoing[i].y()), dmcd.CountChartCalls(2, bucketStart, bucketEnd)) << i;
        EXPECT_EQ(int(incoming[i].y()), dmcd.CountChartCalls(3, bucketStart, bucketEnd)) << i;
        total += int(outgoing[i].y());
        bucketStart = bucketEnd;
    }
    EXPECT_EQ(total, 6); // all but the call at the end of the period
    EXPECT_EQ(int(outgoing[5].y()), 1); // 2 June 4:59:59.999, the point 5h
    EXPECT_EQ(int(outgoing[6].y() + outgoing[7].y()), 3); // 5:00, 9:59:59.5 and 10:00
}

TEST_F(StatisticsWindowTest, ThirtyDaysHaveOnePointPerDay)
{
    call(2, At(30, 23, 0), 5);
    compute({June1(), true}, {EncodeDate(2006, 6, 30), true});
    const QStringList &labels = window->PointLabels();
    ASSERT_EQ(labels.size(), 30);
    EXPECT_EQ(labels.first(), QStringLiteral("2.6"));
    EXPECT_EQ(labels.last(), QStringLiteral("1.7"));
    EXPECT_EQ(counts(window->Series1).last(), 1);
    // Twelve days still split the day; thirteen do not.
    compute({June1(), true}, {EncodeDate(2006, 6, 12), true});
    EXPECT_EQ(window->PointLabels().first(), QStringLiteral("12h"));
    EXPECT_EQ(window->PointLabels().size(), 24);
    compute({June1(), true}, {EncodeDate(2006, 6, 13), true});
    EXPECT_EQ(window->PointLabels().first(), QStringLiteral("2.6"));
    EXPECT_EQ(window->PointLabels().size(), 13);
}

TEST_F(StatisticsWindowTest, WithoutDatesTheChartSpansTheCalls)
{
    call(2, At(3, 9, 0), 5);
    call(3, At(6, 17, 0), 5);
    compute({June1(), false}, {June1(), false});
    // 3 June 00:00 to 7 June 00:00: four days, step four hours.
    EXPECT_EQ(window->PointLabels().size(), 4 * 6);
    EXPECT_EQ(window->PointLabels().first(), QStringLiteral("4h"));
    EXPECT_EQ(window->PointLabels().last(), QStringLiteral("7.6"));
    EXPECT_EQ(window->frg_stat->spbfilter->toolTip(), QStringLiteral("Datum hovorů od:: ... - ..."));
    EXPECT_EQ(statRows().size(), 3);
}

TEST_F(StatisticsWindowTest, EmptyPeriodsAndFilteredListsFollowTheirRules)
{
    call(2, At(10, 9, 0), 5);

    // Both dates chosen, no calls in them: empty list, zero points over the days.
    compute({June1(), true}, {EncodeDate(2006, 6, 2), true});
    EXPECT_TRUE(statRows().isEmpty());
    EXPECT_EQ(window->PointLabels().size(), 24);
    EXPECT_EQ(counts(window->Series1), QList<int>(24, 0));

    // Only "to" chosen and no call before its end: nothing to draw.
    compute({June1(), false}, {EncodeDate(2006, 6, 2), true});
    EXPECT_TRUE(window->PointLabels().isEmpty());
    EXPECT_TRUE(window->Series1->points().isEmpty());

    // The call list filtered to nothing: the list still counts every call, the chart stays empty.
    dmcd.tb_audio->setFilter(QStringLiteral("CALLTYPE=5"));
    dmcd.tb_audio->setFiltered(true);
    compute({June1(), false}, {June1(), false});
    EXPECT_EQ(statRows(), QStringList({QStringLiteral("2:1:5:5:5:5"), QStringLiteral("6:1:5:5:5:5")}));
    EXPECT_TRUE(window->Series2->points().isEmpty());
    EXPECT_TRUE(dmcd.tb_audio->filtered());
}

TEST_F(StatisticsWindowTest, ShowingComputesAndEscCloses)
{
    call(4, At(1, 8, 0), 0);
    window->SetDates({June1(), true}, {June1(), true});
    bool computed = false;
    WhenModal<Tfstattmb>([&](Tfstattmb *w) {
        computed = !w->PointLabels().isEmpty() && !dmcd.cd_stat->isEmpty();
        w->frg_stat->gr->setFocus();
        QTest::keyClick(w->frg_stat->gr, Qt::Key_Escape);
    });
    EXPECT_EQ(window->exec(), QDialog::Rejected);
    EXPECT_TRUE(computed);
    EXPECT_TRUE(boxes.calls().isEmpty());
    // The dates stay as they were for the next showing.
    EXPECT_TRUE(window->dtp_statfrom->Checked());
    EXPECT_DOUBLE_EQ(window->dtp_statto->Date(), June1());
}

TEST_F(StatisticsWindowTest, AxisShowsLabelsThatFitAndKeepsThemUnique)
{
    call(2, At(2, 12, 0), 5);
    compute({June1(), true}, {EncodeDate(2006, 6, 5), true});
    window->resize(720, 447);
    window->show();
    QCoreApplication::processEvents();
    const QStringList shown = window->BottomAxis->categoriesLabels();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.last(), QStringLiteral("6.6"));
    EXPECT_EQ(QSet<QString>(shown.begin(), shown.end()).size(), shown.size());
    EXPECT_LE(shown.size(), 25);
    window->hide();
}

} // namespace

namespace {
// The per-number list as the grid shows it: "number|name|count|total|longest|average".
QStringList shownRows(Tfrg &frame)
{
    QStringList rows;
    TTableModel *model = frame.gr->TableModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (const char *field : {"PHONENUMBER", "PHONENAME", "C1", "C2", "C3", "C5"})
            cells << model->data(model->index(row, model->columnOfField(QLatin1String(field)))).toString();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}
} // namespace

TEST_F(StatisticsWindowTest, CallsPerNumberCarryTheCallersNames)
{
    dmcd.NameOfNumber = [](const QString &number) {
        return number == QLatin1String("603123456") ? QStringLiteral("Anna Nováková") : QString();
    };
    dmcd.RefreshNames();
    call(2, At(1, 10, 0), 10);
    call(3, At(1, 11, 0), 50);
    dmcd.AddCall(3, 0, At(1, 12, 0), At(1, 12, 0) + 5 / 86400.0, QStringLiteral("777"), QString());
    compute({June1(), true}, {June1(), true});
    EXPECT_EQ(window->pc_stat->count(), 2);
    EXPECT_EQ(window->frg_statnum->gr->Columns().at(1).Title.Caption, QStringLiteral("Jméno"));
    EXPECT_EQ(shownRows(*window->frg_statnum),
              (QStringList{QStringLiteral("603123456|Anna Nováková|2|00:01:00|00:00:50|00:00:30"),
                           QStringLiteral("777||1|00:00:05|00:00:05|00:00:05")}));
    // Its output names the dates as the list's does.
    EXPECT_EQ(window->frg_statnum->spbfilter->toolTip(), window->frg_stat->spbfilter->toolTip());
    // The chart was still drawn from the same calls.
    EXPECT_EQ(window->PointLabels().size(), 24);
}
