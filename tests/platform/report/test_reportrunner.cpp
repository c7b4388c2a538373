#include <gtest/gtest.h>

#include "reportfonts.h"
#include "reportsamples.h"

namespace {
const TPageText *FindText(const TStreamPage &page, const QString &text)
{
    for (const TPageText &t : page.texts)
        if (t.text == text)
            return &t;
    return nullptr;
}
} // namespace

TEST(ReportRun, PagesCarryHeadersRowsPageNumbersAndSums)
{
    const TListSource rows = CallRows(150);
    QStringList statuses;
    TReportRunOptions options;
    options.pageStatusFormat = QStringLiteral("Vytváří se strana %p");
    options.pageStatus = [&](const QString &s) { statuses << s; };
    const TPageStream stream = RunList(ListReport(QStringLiteral("Výpis")), rows, options);
    const int pages = stream.pageCount();
    ASSERT_GE(pages, 3);
    EXPECT_EQ(stream.title, "Tembrel Personal - Výpis");
    EXPECT_EQ(statuses.size(), pages);
    EXPECT_EQ(statuses.last(), QStringLiteral("Vytváří se strana %1").arg(pages));

    int rowsSeen = 0;
    for (int p = 0; p < pages; ++p) {
        const QStringList texts = PageTexts(stream.pages[p]);
        EXPECT_TRUE(texts.contains(QStringLiteral("Strana %1/%2").arg(p + 1).arg(pages))) << p;
        EXPECT_EQ(texts.count(QStringLiteral("Číslo")), 1) << "captions on every page";
        EXPECT_EQ(texts.count(QStringLiteral("Výpis")), p == 0 ? 1 : 0) << "the title once";
        rowsSeen += int(texts.filter(QStringLiteral("+420 601")).size());
        // Nothing below the region but the page number.
        for (const TPageText &t : stream.pages[p].texts) {
            if (!t.text.startsWith(QStringLiteral("Strana"))) {
                EXPECT_LT(t.baseline, (11.6929 - 0.8) * 72) << t.text.toStdString();
            }
        }
    }
    EXPECT_EQ(rowsSeen, 150) << "every row exactly once";
    // 0+10+..+60 repeated: rows i%7*10.
    int sum = 0;
    for (int i = 0; i < 150; ++i)
        sum += i % 7 * 10;
    const QStringList last = PageTexts(stream.pages.back());
    EXPECT_TRUE(last.contains(DefaultFormatNumber("#,##0", sum))) << last.join('|').toStdString();
    EXPECT_TRUE(last.contains("150"));
    EXPECT_TRUE(last.contains(QStringLiteral("Součty:")));
}

TEST(ReportRun, JustificationCutsAndUnderline)
{
    const TListSource rows = CallRows(1);
    const TPageStream stream = RunList(ListReport(QStringLiteral("Titul")), rows);
    const TStreamPage &page = stream.pages[0];
    const auto font = ReportFont("Arial", false, false);
    const auto bold = ReportFont("Arial", true, false);

    // Right-justified "Délka" ends at its box's right edge (region left 0.5 + 2.764 + 1.302).
    const TPageText *caption = FindText(page, QStringLiteral("Délka"));
    ASSERT_TRUE(caption);
    EXPECT_NEAR(caption->x + bold->textWidth(caption->text, 10), (0.5 + 2.764 + 1.302) * 72, 0.01);
    // The centred title sits in the middle of the region and is underlined along its width.
    const TPageText *title = FindText(page, QStringLiteral("Titul"));
    ASSERT_TRUE(title);
    const double titleWidth = bold->textWidth(title->text, 10);
    EXPECT_NEAR(title->x + titleWidth / 2, (0.5 + (8.2677 - 1.0) / 2) * 72, 0.01);
    bool underlined = false;
    for (const TPageLine &l : page.lines)
        underlined |= std::abs(l.x1 - title->x) < 0.01 && std::abs(l.x2 - title->x - titleWidth) < 0.01 && l.y1 > title->baseline;
    EXPECT_TRUE(underlined);

    // A fixed text shows whole even past its box; a value wider than its box loses what does not fit.
    EXPECT_TRUE(PageTexts(page).contains(QStringLiteral("Součty:")));
    const TListSource wide({"TYPE", "NUMBER", "LENGTH"}, {{QString(60, 'W'), "1", "2"}});
    const TPageStream cut = RunList(ListReport("T"), wide);
    const TPageText *w = nullptr;
    for (const TPageText &t : cut.pages[0].texts)
        if (t.text.startsWith("WWW"))
            w = &t;
    ASSERT_TRUE(w);
    EXPECT_LT(w->text.size(), 60);
    EXPECT_LE(font->textWidth(w->text, 10), 1.302 * 72 + 0.01);
    EXPECT_GT(font->textWidth(w->text + "W", 10), 1.302 * 72);
}

TEST(ReportRun, FooterMovesToANewPageAndAnchorsFollowTheOrientation)
{
    // Find a row count whose last page has no room left for the footer.
    const TReportProject project = ListReport("T");
    int previousPages = 1;
    for (int n = 30; n < 120; ++n) {
        const TListSource rows = CallRows(n);
        const TPageStream s = RunList(project, rows);
        const QStringList last = PageTexts(s.pages.back());
        if (s.pageCount() > previousPages && last.filter("+420").isEmpty()) {
            EXPECT_TRUE(last.contains(QStringLiteral("Součty:")));
            EXPECT_TRUE(last.contains(QStringLiteral("Číslo"))) << "a new page gets its header";
            break;
        }
        previousPages = s.pageCount();
        ASSERT_LT(n, 119) << "the footer never went to a page of its own";
    }

    const TListSource rows = CallRows(10);
    TReportRunOptions landscape;
    landscape.orientation = 1;
    const TPageStream wide = RunList(project, rows, landscape);
    const TStreamPage &page = wide.pages[0];
    EXPECT_GT(page.width, page.height);
    const TPageText *number = FindText(page, "Strana 1/1");
    ASSERT_TRUE(number);
    EXPECT_NEAR(number->baseline, (8.2677 - 0.75) * 72 + ReportFont("Arial", false, false)->lineAscent() / 100.0, 0.01)
        << "anchored to the bottom edge";
    EXPECT_NEAR(number->x + ReportFont("Arial", false, false)->textWidth("Strana 1/1", 10) / 2, 11.6929 / 2 * 72, 0.6)
        << "horizontally centred on the wider page";
}

TEST(ReportRun, ErrorsAndDegenerateReports)
{
    const TListSource rows = CallRows(3);
    TReportProject project = ListReport("T");
    EXPECT_THROW(RunReport(project, "Report2", {{"DataView1", &rows}}), EReportError);
    EXPECT_THROW(RunReport(project, "Report1", {}), EReportError);
    project.reports[0].page.regions[0].bands[2].controls[0].text = "TYPE + 'x";
    EXPECT_THROW(RunList(project, rows), EReportError);
    project.reports[0].page.regions[0].bands[2].controls[0].text = "NOSUCHFIELD";
    EXPECT_THROW(RunList(project, rows), EReportError);
    project.reports[0].page.regions[0].bands[2].controls[0].text = "'it''s ' + TYPE";
    EXPECT_TRUE(PageTexts(RunList(project, rows).pages[0]).contains(QStringLiteral("it's Odchozí")));

    // A detail band taller than the region still ends: one row per page.
    TReportProject tall = ListReport("T");
    tall.reports[0].page.regions[0].bands[2].height = 20;
    const TPageStream s = RunList(tall, rows);
    EXPECT_EQ(s.pageCount(), 4);

    // No rows: one page with headers, footer and a zero count.
    const TListSource none({"TYPE", "NUMBER", "LENGTH"}, {});
    const TPageStream empty = RunList(ListReport("T"), none);
    ASSERT_EQ(empty.pageCount(), 1);
    EXPECT_TRUE(PageTexts(empty.pages[0]).contains("Strana 1/1"));
    EXPECT_EQ(PageTexts(empty.pages[0]).count("0"), 2) << "sum and count";
}
