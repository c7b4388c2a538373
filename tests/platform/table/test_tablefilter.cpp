#include <gtest/gtest.h>

#include "formatsettings.h"
#include "memtable.h"
#include "tablefilter.h"

namespace {
class FilterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        t.addFieldDef(QStringLiteral("CALLTYPE"), TFieldType::Integer);
        t.addFieldDef(QStringLiteral("CALLLINK"), TFieldType::Integer);
        t.addFieldDef(QStringLiteral("WHENSTART"), TFieldType::DateTime);
        t.addFieldDef(QStringLiteral("PHONENUMBER"), TFieldType::String, 40);
        t.createDataSet();
        // Calls of 31 May 23:59:59, 1 June 00:00, 1 June 14:00, 2 June 23:59:59.999, 3 June 00:00 on lines 1..3.
        add(2, 1, EncodeDate(2006, 5, 31) + EncodeTime(23, 59, 59), QStringLiteral("777"));
        add(3, 2, EncodeDate(2006, 6, 1), QStringLiteral("603 123"));
        add(2, 2, EncodeDate(2006, 6, 1) + EncodeTime(14, 0, 0), QString());
        add(5, 3, EncodeDate(2006, 6, 2) + EncodeTime(23, 59, 59, 999), QStringLiteral("O'Brien"));
        add(3, 1, EncodeDate(2006, 6, 3), QStringLiteral("777"));
        t.insert(); // a row with nothing in it
        t.post();
    }
    void add(int type, int link, double when, const QString &number)
    {
        t.insert();
        t.fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(type);
        t.fieldByName(QStringLiteral("CALLLINK")).setAsInteger(link);
        t.fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(when);
        if (!number.isEmpty())
            t.fieldByName(QStringLiteral("PHONENUMBER")).setAsString(number);
        t.post();
    }
    int count(const QString &expression) { return t.countMatching(expression); }
    QString errorOf(const QString &expression)
    {
        try {
            t.setFilter(expression);
        } catch (const ETableError &e) {
            return e.message();
        }
        return QString();
    }
    TMemTable t;
};
} // namespace

TEST_F(FilterTest, TheProgramsExpressionForms)
{
    EXPECT_EQ(count(QStringLiteral("(CALLTYPE=5)")), 1);
    EXPECT_EQ(count(QStringLiteral("CALLLINK>=2")), 3);
    EXPECT_EQ(count(QStringLiteral("CALLLINK<=1")), 2);
    EXPECT_EQ(count(QStringLiteral("(CALLTYPE=2 OR CALLTYPE=3)")), 4);
    EXPECT_EQ(count(QStringLiteral("((CALLTYPE=2 OR CALLTYPE=3)) AND (CALLLINK>=1) AND (CALLLINK<=2) AND "
                                   "(WHENSTART>='1.6.2006') AND (WHENSTART<'3.6.2006')")),
              2);
    // Line from 3 to 0 lets nothing through.
    EXPECT_EQ(count(QStringLiteral("(CALLLINK>=3) AND (CALLLINK<=0)")), 0);
    // One day: from its midnight up to, not including, the next midnight.
    EXPECT_EQ(count(QStringLiteral("(WHENSTART>='1.6.2006') AND (WHENSTART<'2.6.2006')")), 2);
    EXPECT_EQ(count(QStringLiteral("(WHENSTART>='2.6.2006') AND (WHENSTART<'3.6.2006')")), 1);
    // The chart's form: date and time, time left out at midnight, no outer brackets.
    EXPECT_EQ(count(QStringLiteral("CALLTYPE=2 AND WHENSTART>='1.6.2006 13:00:00' AND WHENSTART<'1.6.2006 15:00:00'")), 1);
    EXPECT_EQ(count(QStringLiteral("CALLTYPE=3 AND WHENSTART>='1.6.2006' AND WHENSTART<'1.6.2006 0:00:01'")), 1);
}

TEST_F(FilterTest, PrecedenceKeywordsListsAndTexts)
{
    // AND binds tighter than OR.
    EXPECT_EQ(count(QStringLiteral("CALLTYPE=5 OR CALLTYPE=2 AND CALLLINK=2")), 2);
    EXPECT_EQ(count(QStringLiteral("(CALLTYPE=5 OR CALLTYPE=2) AND CALLLINK=2")), 1);
    EXPECT_EQ(count(QStringLiteral("calltype = 2 and calllink = 1")), 1);
    EXPECT_EQ(count(QStringLiteral("CALLTYPE IN (2,5)")), 3);
    EXPECT_EQ(count(QStringLiteral("CALLTYPE<>2")), 3); // the empty row passes no comparison
    EXPECT_EQ(count(QStringLiteral("PHONENUMBER='777'")), 2);
    EXPECT_EQ(count(QStringLiteral("PHONENUMBER='O''Brien'")), 1);
    EXPECT_EQ(count(QStringLiteral("PHONENUMBER>='6'")), 4); // 'O' sorts after '6'
}

TEST_F(FilterTest, MalformedExpressionsNameExpressionAndPlace)
{
    t.setFilter(QStringLiteral("CALLTYPE=2"));
    t.setFiltered(true);
    const QString e1 = errorOf(QStringLiteral("CALLTYPE=2 AND (CALLLINK>=1"));
    EXPECT_TRUE(e1.contains(QStringLiteral("\"CALLTYPE=2 AND (CALLLINK>=1\""))) << e1.toStdString();
    EXPECT_TRUE(e1.contains(QStringLiteral("position 28"))) << e1.toStdString();
    const QString e2 = errorOf(QStringLiteral("NOFIELD=1"));
    EXPECT_TRUE(e2.contains(QStringLiteral("NOFIELD"))) << e2.toStdString();
    EXPECT_TRUE(e2.contains(QStringLiteral("position 1"))) << e2.toStdString();
    EXPECT_TRUE(errorOf(QStringLiteral("WHENSTART>='31.2.2006'")).contains(QStringLiteral("position 12")));
    EXPECT_FALSE(errorOf(QStringLiteral("PHONENUMBER='abc")).isEmpty());
    EXPECT_FALSE(errorOf(QStringLiteral("CALLTYPE=2 OR")).isEmpty());
    EXPECT_FALSE(errorOf(QStringLiteral("CALLTYPE=2)")).isEmpty());
    EXPECT_FALSE(errorOf(QStringLiteral("CALLTYPE LIKE 2")).isEmpty());
    EXPECT_FALSE(errorOf(QStringLiteral("CALLTYPE=x")).isEmpty());
    EXPECT_FALSE(errorOf(QString(1000, QLatin1Char('(')) + QStringLiteral("CALLTYPE=2")).isEmpty());
    // Nothing changed by the failures.
    EXPECT_EQ(t.filter(), QStringLiteral("CALLTYPE=2"));
    EXPECT_EQ(t.recordCount(), 2);
}

TEST(AndFilter, JoinsConditions)
{
    QString e;
    AndFilter(QStringLiteral("A"), e);
    EXPECT_EQ(e, QStringLiteral("(A)"));
    AndFilter(QStringLiteral("B"), e);
    EXPECT_EQ(e, QStringLiteral("(A) AND (B)"));
    AndFilter(QString(), e);
    EXPECT_EQ(e, QStringLiteral("(A) AND (B)"));
}
