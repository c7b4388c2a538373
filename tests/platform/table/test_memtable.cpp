#include <QSignalSpy>
#include <gtest/gtest.h>

#include "formatsettings.h"
#include "memtable.h"

namespace {
// A small table: ID (auto), NAME (string 10), N (integer), WHEN (date-time), PRICE (float).
void makeTable(TMemTable &t)
{
    t.addFieldDef(QStringLiteral("ID"), TFieldType::AutoInc);
    t.addFieldDef(QStringLiteral("NAME"), TFieldType::String, 10);
    t.addFieldDef(QStringLiteral("N"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("WHEN"), TFieldType::DateTime);
    t.addFieldDef(QStringLiteral("PRICE"), TFieldType::Float);
    t.createDataSet();
}

void addRow(TMemTable &t, const QString &name, int n)
{
    t.insert();
    t.fieldByName(QStringLiteral("NAME")).setAsString(name);
    t.fieldByName(QStringLiteral("N")).setAsInteger(n);
    t.post();
}

QStringList names(TMemTable &t)
{
    QStringList out;
    for (t.first(); !t.eof(); t.next())
        out << t.fieldByName(QStringLiteral("NAME")).asString();
    return out;
}
} // namespace

TEST(MemTable, ValuesConvertBetweenKindsAndKeepNulls)
{
    TMemTable t;
    makeTable(t);
    t.insert();
    t.fieldByName(QStringLiteral("N")).setAsString(QStringLiteral(" 42 "));
    t.fieldByName(QStringLiteral("WHEN")).setAsString(QStringLiteral("1.6.2006 14:03:07"));
    t.fieldByName(QStringLiteral("PRICE")).setAsString(QStringLiteral("2,5"));
    t.fieldByName(QStringLiteral("NAME")).setAsString(QStringLiteral("abcdefghijKLM"));
    t.post();
    EXPECT_EQ(t.fieldByName(QStringLiteral("N")).asInteger(), 42);
    EXPECT_DOUBLE_EQ(t.fieldByName(QStringLiteral("N")).asFloat(), 42.0);
    EXPECT_EQ(t.fieldByName(QStringLiteral("N")).asString(), QStringLiteral("42"));
    EXPECT_DOUBLE_EQ(t.fieldByName(QStringLiteral("WHEN")).asDateTime(), EncodeDate(2006, 6, 1) + EncodeTime(14, 3, 7));
    EXPECT_EQ(t.fieldByName(QStringLiteral("WHEN")).asString(), QStringLiteral("1.6.2006 14:03:07"));
    EXPECT_DOUBLE_EQ(t.fieldByName(QStringLiteral("PRICE")).asFloat(), 2.5);
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("abcdefghij")); // width 10
    EXPECT_EQ(t.fieldByName(QStringLiteral("ID")).asInteger(), 1);

    addRow(t, QStringLiteral("x"), 1);
    EXPECT_TRUE(t.fieldByName(QStringLiteral("WHEN")).isNull());
    EXPECT_TRUE(t.fieldByName(QStringLiteral("PRICE")).isNull());
    EXPECT_EQ(t.fieldByName(QStringLiteral("PRICE")).asFloat(), 0.0);
    EXPECT_EQ(t.fieldByName(QStringLiteral("WHEN")).displayText(), QString());
}

TEST(MemTable, RefusesBadValuesAndWritesOutsideEditing)
{
    TMemTable t;
    makeTable(t);
    EXPECT_THROW(t.fieldByName(QStringLiteral("N")).setAsInteger(1), ETableError);
    EXPECT_THROW(t.fieldByName(QStringLiteral("MISSING")), ETableError);
    t.insert();
    EXPECT_THROW(t.fieldByName(QStringLiteral("N")).setAsString(QStringLiteral("12a")), ETableError);
    EXPECT_THROW(t.fieldByName(QStringLiteral("N")).setAsInteger(qint64(1) << 31), ETableError); // not wrapped
    EXPECT_THROW(t.fieldByName(QStringLiteral("WHEN")).setAsString(QStringLiteral("31.2.2006")), ETableError);
    EXPECT_THROW(t.first(), ETableError); // still inserting
    t.cancel();
    EXPECT_EQ(t.recordCount(), 0);
    EXPECT_TRUE(t.bof());
    EXPECT_TRUE(t.eof());
}

TEST(MemTable, HooksRunInOrderAndARefusedPostKeepsNothing)
{
    TMemTable t;
    makeTable(t);
    QStringList calls;
    t.beforePost = [&](TMemTable &table) {
        calls << QStringLiteral("beforePost");
        if (table.fieldByName(QStringLiteral("N")).asInteger() < 0)
            throw ETableError(QStringLiteral("negative"));
        table.fieldByName(QStringLiteral("PRICE")).setAsFloat(table.fieldByName(QStringLiteral("N")).asInteger() * 2.0);
    };
    t.afterPost = [&](TMemTable &) { calls << QStringLiteral("afterPost"); };
    t.beforeDelete = [&](TMemTable &table) { calls << QStringLiteral("beforeDelete ") + table.fieldByName(QStringLiteral("NAME")).asString(); };
    t.afterDelete = [&](TMemTable &) { calls << QStringLiteral("afterDelete"); };
    addRow(t, QStringLiteral("a"), 3);
    EXPECT_DOUBLE_EQ(t.fieldByName(QStringLiteral("PRICE")).asFloat(), 6.0);
    t.insert();
    t.fieldByName(QStringLiteral("N")).setAsInteger(-1);
    EXPECT_THROW(t.post(), ETableError);
    EXPECT_EQ(t.state(), TTableState::Insert);
    t.cancel();
    t.deleteRecord();
    EXPECT_EQ(calls, (QStringList{QStringLiteral("beforePost"), QStringLiteral("afterPost"), QStringLiteral("beforePost"),
                                  QStringLiteral("beforeDelete a"), QStringLiteral("afterDelete")}));
    // The refused post used up no identifier.
    addRow(t, QStringLiteral("b"), 1);
    EXPECT_EQ(t.fieldByName(QStringLiteral("ID")).asInteger(), 2);
    EXPECT_EQ(t.autoIncValue(), 3);
}

TEST(MemTable, IdentifiersAreNeverReusedAndRowsKeepInsertionOrder)
{
    TMemTable t;
    makeTable(t);
    addRow(t, QStringLiteral("a"), 1);
    addRow(t, QStringLiteral("b"), 2);
    addRow(t, QStringLiteral("c"), 3);
    t.last();
    t.deleteRecord();
    addRow(t, QStringLiteral("d"), 4);
    EXPECT_EQ(t.fieldByName(QStringLiteral("ID")).asInteger(), 4);
    EXPECT_EQ(names(t), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("d")}));
}

TEST(MemTable, NavigationFlagsAndBookmarks)
{
    TMemTable t;
    makeTable(t);
    for (int i = 0; i < 5; ++i)
        addRow(t, QString(QChar('a' + i)), i);
    t.first();
    EXPECT_TRUE(t.bof());
    EXPECT_FALSE(t.eof());
    t.prior();
    EXPECT_TRUE(t.bof());
    EXPECT_EQ(t.recNo(), 1);
    t.next();
    t.next();
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("c"));
    const TBookmark mark = t.bookmark();
    t.last();
    EXPECT_TRUE(t.eof());
    t.next();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recNo(), 5);
    // The bookmark survives reordering and the deletion of an earlier row.
    t.setIndexFieldNames(QStringLiteral("N"));
    t.addIndex(QStringLiteral("N_ixd"), QStringLiteral("N"), true, true);
    t.setIndexName(QStringLiteral("N_ixd"));
    t.first();
    t.deleteRecord(); // "e"
    t.gotoBookmark(mark);
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("c"));
    EXPECT_EQ(t.recNo(), 2); // d, c, b, a
    t.deleteRecord();
    EXPECT_FALSE(t.bookmarkValid(mark));
    EXPECT_THROW(t.gotoBookmark(mark), ETableError);
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("b")); // the next row is current
}

TEST(MemTable, OrdersAreStableAndNamedIndexesDescendIgnoringCase)
{
    TMemTable t;
    makeTable(t);
    addRow(t, QStringLiteral("b"), 2);
    addRow(t, QStringLiteral("A"), 1);
    addRow(t, QStringLiteral("c"), 2);
    addRow(t, QStringLiteral("a"), 1);
    t.setIndexFieldNames(QStringLiteral("N"));
    EXPECT_EQ(names(t), (QStringList{"A", "a", "b", "c"}));
    t.setIndexFieldNames(QStringLiteral("N;NAME"));
    EXPECT_EQ(names(t), (QStringList{"A", "a", "b", "c"}));
    t.setIndexFieldNames(QStringLiteral("NAME"));
    EXPECT_EQ(names(t), (QStringList{"A", "a", "b", "c"}));
    t.addIndex(QStringLiteral("NAME_ixd"), QStringLiteral("NAME"), true, true);
    t.setIndexName(QStringLiteral("NAME_ixd"));
    EXPECT_EQ(t.indexFieldNames(), QString());
    // Descending, case ignored, equal keys keep insertion order.
    EXPECT_EQ(names(t), (QStringList{"c", "b", "A", "a"}));
    EXPECT_EQ(t.orderField()->fieldName(), QStringLiteral("NAME"));
    // A row posted into a sorted table lands where a full sort would put it.
    addRow(t, QStringLiteral("B"), 9);
    EXPECT_EQ(names(t), (QStringList{"c", "b", "B", "A", "a"}));
    EXPECT_THROW(t.setIndexName(QStringLiteral("nothing")), ETableError);
    EXPECT_THROW(t.addIndex(QStringLiteral("NAME_ixd"), QStringLiteral("NAME"), true, true), ETableError);
    EXPECT_THROW(t.setIndexFieldNames(QStringLiteral("NOPE")), ETableError);
}

TEST(MemTable, NearestKeySearchFollowsTheOrder)
{
    TMemTable t;
    makeTable(t);
    for (int n : {700, 100, 603, 650, 500})
        addRow(t, QString::number(n), n);
    t.setIndexFieldNames(QStringLiteral("N"));
    EXPECT_TRUE(t.findNearest(QStringLiteral("603")));
    EXPECT_EQ(t.fieldByName(QStringLiteral("N")).asInteger(), 603);
    EXPECT_TRUE(t.findNearest(QStringLiteral("604")));
    EXPECT_EQ(t.fieldByName(QStringLiteral("N")).asInteger(), 650);
    EXPECT_FALSE(t.findNearest(QStringLiteral("900")));
    EXPECT_TRUE(t.eof());
    t.addIndex(QStringLiteral("N_ixd"), QStringLiteral("N"), true, true);
    t.setIndexName(QStringLiteral("N_ixd"));
    EXPECT_TRUE(t.findNearest(QStringLiteral("604")));
    EXPECT_EQ(t.fieldByName(QStringLiteral("N")).asInteger(), 603);
    EXPECT_THROW(t.findNearest(QStringLiteral("12a")), ETableError);
    t.setIndexFieldNames(QStringLiteral("NAME"));
    EXPECT_TRUE(t.findNearest(QStringLiteral("6")));
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("603"));
}

TEST(MemTable, FilterCountsOnlyPassingRowsAndKeepsTheCursor)
{
    TMemTable t;
    makeTable(t);
    for (int i = 1; i <= 6; ++i)
        addRow(t, QString::number(i), i);
    t.setFilter(QStringLiteral("N>=3"));
    EXPECT_EQ(t.recordCount(), 6); // not switched on yet
    t.setFiltered(true);
    EXPECT_EQ(t.recordCount(), 4);
    t.setRecNo(2);
    EXPECT_EQ(t.fieldByName(QStringLiteral("N")).asInteger(), 4);
    t.setFilter(QStringLiteral("N<=4"));
    EXPECT_EQ(t.recordCount(), 4);
    EXPECT_EQ(t.fieldByName(QStringLiteral("N")).asInteger(), 4);
    EXPECT_THROW(t.setFilter(QStringLiteral("N>=")), ETableError);
    EXPECT_EQ(t.filter(), QStringLiteral("N<=4")); // the old filter stays in force
    EXPECT_EQ(t.recordCount(), 4);
    EXPECT_EQ(t.countMatching(QStringLiteral("N=6 OR N=1")), 2);
    // A row that does not pass is stored but not shown.
    addRow(t, QStringLiteral("9"), 9);
    EXPECT_EQ(t.recordCount(), 4);
    EXPECT_EQ(t.physicalCount(), 7);
    t.setFiltered(false);
    EXPECT_EQ(t.recordCount(), 7);
}

TEST(MemTable, NotificationsWaitWhileControlsAreDisabled)
{
    TMemTable t;
    makeTable(t);
    QSignalSpy changed(&t, &TMemTable::dataSetChanged);
    QSignalSpy moved(&t, &TMemTable::currentChanged);
    int scrolls = 0;
    t.afterScroll = [&](TMemTable &) { ++scrolls; };
    t.disableControls();
    t.disableControls();
    addRow(t, QStringLiteral("a"), 1);
    addRow(t, QStringLiteral("b"), 2);
    t.first();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(moved.count(), 0);
    EXPECT_GT(scrolls, 0); // the after-scroll hook is not a bound control
    t.enableControls();
    EXPECT_EQ(changed.count(), 0);
    t.enableControls();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(moved.count(), 1);
    t.next();
    EXPECT_EQ(moved.count(), 2);
}

TEST(MemTable, AKeptRowIsReturnedToWhenItIsStillShown)
{
    TMemTable t;
    makeTable(t);
    for (int i = 1; i <= 4; ++i)
        addRow(t, QStringLiteral("r%1").arg(i), i);
    t.setRecNo(2);
    QSignalSpy moved(&t, &TMemTable::currentChanged);
    int scrolls = 0;
    t.afterScroll = [&](TMemTable &) { ++scrolls; };
    {
        const TKeptRow kept(t, true);
        for (t.first(); !t.eof(); t.next()) {
        }
        EXPECT_FALSE(t.afterScroll); // held back during the walk
    }
    EXPECT_EQ(t.fieldByName(QStringLiteral("N")).asInteger(), 2);
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(moved.count(), 1); // told once, at the end
    ASSERT_TRUE(t.afterScroll);

    // Deleted, or filtered out, meanwhile: the cursor stays where the work left it.
    {
        const TKeptRow kept(t);
        t.deleteRecord();
        t.last();
    }
    EXPECT_EQ(t.fieldByName(QStringLiteral("N")).asInteger(), 4);
    t.setRecNo(1);
    {
        const TKeptRow kept(t);
        t.setFilter(QStringLiteral("N > 2"));
        t.setFiltered(true);
        t.last();
    }
    EXPECT_EQ(t.fieldByName(QStringLiteral("N")).asInteger(), 4);
    t.setFiltered(false);

    // A row still being inserted is not left behind.
    t.setRecNo(1);
    {
        const TKeptRow kept(t);
        t.insert();
    }
    EXPECT_EQ(t.state(), TTableState::Insert);
    t.cancel();
    EXPECT_FALSE(t.controlsDisabled());
}

TEST(MemTable, CopyTakesAllRowsRegardlessOfFilterAndChecksStructure)
{
    TMemTable a, b, other;
    makeTable(a);
    for (int i = 1; i <= 4; ++i)
        addRow(a, QString::number(i), i);
    a.setFilter(QStringLiteral("N=1"));
    a.setFiltered(true);
    b.copyFrom(a); // closed: takes the structure too
    EXPECT_EQ(b.recordCount(), 4);
    EXPECT_EQ(b.fieldCount(), 5);
    b.last();
    EXPECT_EQ(b.fieldByName(QStringLiteral("ID")).asInteger(), 4);
    EXPECT_EQ(a.recordCount(), 1);
    other.addFieldDef(QStringLiteral("X"), TFieldType::Integer);
    other.createDataSet();
    EXPECT_THROW(other.copyFrom(a), ETableError);
    EXPECT_EQ(other.recordCount(), 0);
}

TEST(MemTable, CreateDataSetRefusesBadDefinitions)
{
    TMemTable t;
    EXPECT_THROW(t.createDataSet(), ETableError);
    t.addFieldDef(QStringLiteral("A"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("a"), TFieldType::String, 5);
    EXPECT_THROW(t.createDataSet(), ETableError);
    t.fieldDefs().pop_back();
    t.createDataSet();
    EXPECT_TRUE(t.active());
    EXPECT_TRUE(t.isEmpty());
    t.close();
    EXPECT_FALSE(t.active());
    EXPECT_THROW(t.insert(), ETableError);
}

TEST(MemTable, DisplayFormatsAndHooks)
{
    TMemTable t;
    makeTable(t);
    t.insert();
    t.fieldByName(QStringLiteral("N")).setAsInteger(1234567);
    t.fieldByName(QStringLiteral("PRICE")).setAsFloat(-1234.5);
    t.fieldByName(QStringLiteral("WHEN")).setAsDateTime(EncodeDate(2006, 6, 1) + EncodeTime(14, 3, 7));
    t.post();
    TField &n = t.fieldByName(QStringLiteral("N"));
    n.setDisplayFormat(QStringLiteral("#,##0"));
    EXPECT_EQ(n.displayText(), QStringLiteral("1") + SystemFormats().thousandSeparator + QStringLiteral("234")
                                   + SystemFormats().thousandSeparator + QStringLiteral("567"));
    EXPECT_EQ(n.text(), QStringLiteral("1234567"));
    TField &p = t.fieldByName(QStringLiteral("PRICE"));
    p.setDisplayFormat(QStringLiteral("0.00"));
    EXPECT_EQ(p.displayText(), QStringLiteral("-1234,50"));
    TField &w = t.fieldByName(QStringLiteral("WHEN"));
    w.setDisplayFormat(QStringLiteral("dd.mm.yyyy hh:nn:ss"));
    EXPECT_EQ(w.displayText(), QStringLiteral("01.06.2006 14:03:07"));
    n.setOnGetText([](const TField &f, int record, bool display) {
        return (display ? QStringLiteral("d") : QStringLiteral("e")) + QString::number(f.asLargeIntAt(record));
    });
    EXPECT_EQ(n.displayText(), QStringLiteral("d1234567"));
    EXPECT_EQ(n.text(), QStringLiteral("e1234567"));
}

TEST(MemTable, LargeSortsMatchAStableReferenceSort)
{
    // Enough repeated texts for the ranked path, numbers with ties, and empty values.
    TMemTable t;
    makeTable(t);
    const QStringList words = {QStringLiteral("b"), QStringLiteral("A"), QStringLiteral("a"), QStringLiteral("Č"),
                               QStringLiteral("c"), QStringLiteral("B")};
    struct Row {
        int id;
        QString name;
        bool hasName;
        int n;
    };
    std::vector<Row> reference;
    for (int i = 0; i < 3000; ++i) {
        t.insert();
        const bool hasName = i % 11 != 0;
        if (hasName)
            t.fieldByName(QStringLiteral("NAME")).setAsString(words[(i * 7) % words.size()]);
        t.fieldByName(QStringLiteral("N")).setAsInteger((i * 37) % 101);
        t.post();
        reference.push_back({i + 1, hasName ? words[(i * 7) % words.size()] : QString(), hasName, (i * 37) % 101});
    }
    auto check = [&](auto less, const char *what) {
        std::vector<Row> expected = reference;
        std::stable_sort(expected.begin(), expected.end(), less);
        int pos = 0;
        for (t.first(); !t.eof(); t.next(), ++pos)
            ASSERT_EQ(t.fieldByName(QStringLiteral("ID")).asInteger(), expected[size_t(pos)].id) << what << " at " << pos;
        ASSERT_EQ(pos, 3000);
    };
    auto nameKey = [](const Row &r, bool fold) { return fold ? r.name.toCaseFolded() : r.name; };
    t.setIndexFieldNames(QStringLiteral("NAME"));
    check([&](const Row &a, const Row &b) {
        if (a.hasName != b.hasName)
            return !a.hasName;
        return nameKey(a, false) < nameKey(b, false);
    }, "NAME ascending");
    t.addIndex(QStringLiteral("NAME_ixd"), QStringLiteral("NAME"), true, true);
    t.setIndexName(QStringLiteral("NAME_ixd"));
    check([&](const Row &a, const Row &b) {
        if (a.hasName != b.hasName)
            return a.hasName; // empty values last when descending
        return nameKey(b, true) < nameKey(a, true);
    }, "NAME descending ignoring case");
    t.addIndex(QStringLiteral("N_ixd"), QStringLiteral("N"), true, true);
    t.setIndexName(QStringLiteral("N_ixd"));
    check([](const Row &a, const Row &b) { return b.n < a.n; }, "N descending");
    // Rows posted into the sorted view land where a full sort puts them.
    t.setIndexName(QStringLiteral("NAME_ixd"));
    for (int i = 0; i < 50; ++i) {
        t.insert();
        t.fieldByName(QStringLiteral("NAME")).setAsString(words[i % words.size()]);
        t.post();
        reference.push_back({3001 + i, words[i % words.size()], true, 0});
    }
    std::vector<Row> expected = reference;
    std::stable_sort(expected.begin(), expected.end(), [&](const Row &a, const Row &b) {
        if (a.hasName != b.hasName)
            return a.hasName;
        return nameKey(b, true) < nameKey(a, true);
    });
    int pos = 0;
    for (t.first(); !t.eof(); t.next(), ++pos)
        ASSERT_EQ(t.fieldByName(QStringLiteral("ID")).asInteger(), expected[size_t(pos)].id) << pos;
}

TEST(MemTable, PostingMovesTheCursorToThePostedRowAndTellsSo)
{
    TMemTable t;
    makeTable(t);
    addRow(t, QStringLiteral("b"), 2);
    addRow(t, QStringLiteral("d"), 4);
    t.setIndexFieldNames(QStringLiteral("N"));
    t.first();
    QSignalSpy moved(&t, &TMemTable::currentChanged);
    addRow(t, QStringLiteral("a"), 1);
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(t.recNo(), 1);
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("a"));
    t.last();
    addRow(t, QStringLiteral("c"), 3);
    EXPECT_EQ(t.recNo(), 3);
    // The cursor's row keeps its place when a row lands before it.
    t.last();
    addRow(t, QStringLiteral("0"), 0);
    t.setRecNo(5);
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("d"));
    EXPECT_EQ(names(t), (QStringList{"0", "a", "b", "c", "d"}));
}

TEST(MemTable, SortsOfMostlyDistinctTextsMatchAReferenceSort)
{
    for (const QString &extra : {QString(), QStringLiteral("\u0158")}) { // all narrow, then one wide character
        TMemTable t;
        t.addFieldDef(QStringLiteral("ID"), TFieldType::AutoInc);
        t.addFieldDef(QStringLiteral("S"), TFieldType::String, 40);
        t.createDataSet();
        std::vector<std::pair<QString, int>> reference;
        uint32_t seed = 7;
        for (int i = 0; i < 3000; ++i) {
            seed = seed * 1103515245u + 12345u;
            // A shared prefix, then digits; some equal, some prefixes of others, some in other case.
            QString s = QStringLiteral("+420 6") + QString::number((seed >> 8) % 5000);
            if (i % 97 == 0)
                s = QStringLiteral("+420 6");
            if (i % 13 == 0)
                s += QStringLiteral("a");
            if (i % 17 == 0)
                s += QStringLiteral("A");
            if (i == 1500)
                s += extra;
            t.insert();
            t.fieldByName(QStringLiteral("S")).setAsString(s);
            t.post();
            reference.push_back({s, i + 1});
        }
        for (bool descending : {false, true}) {
            auto expected = reference;
            if (descending) {
                std::stable_sort(expected.begin(), expected.end(), [](const auto &a, const auto &b) {
                    return b.first.toCaseFolded() < a.first.toCaseFolded();
                });
                if (!t.findIndex(QStringLiteral("S_ixd")))
                    t.addIndex(QStringLiteral("S_ixd"), QStringLiteral("S"), true, true);
                t.setIndexName(QStringLiteral("S_ixd"));
            } else {
                std::stable_sort(expected.begin(), expected.end(),
                                 [](const auto &a, const auto &b) { return a.first < b.first; });
                t.setIndexFieldNames(QStringLiteral("S"));
            }
            int pos = 0;
            for (t.first(); !t.eof(); t.next(), ++pos)
                ASSERT_EQ(t.fieldByName(QStringLiteral("ID")).asInteger(), expected[size_t(pos)].second)
                    << (descending ? "descending" : "ascending") << " at " << pos;
        }
    }
}

TEST(MemTable, SortsOfSomeDozensOfRepeatedTextsMatchAReferenceSort)
{
    TMemTable t;
    t.addFieldDef(QStringLiteral("ID"), TFieldType::AutoInc);
    t.addFieldDef(QStringLiteral("S"), TFieldType::String, 20);
    t.createDataSet();
    std::vector<std::pair<QString, int>> reference;
    for (int i = 0; i < 3000; ++i) {
        const QString s = (i % 3 ? QStringLiteral("w") : QStringLiteral("W")) + QString::number((i * 31) % 40);
        t.insert();
        t.fieldByName(QStringLiteral("S")).setAsString(s);
        t.post();
        reference.push_back({s, i + 1});
    }
    t.addIndex(QStringLiteral("S_ixd"), QStringLiteral("S"), true, true);
    t.setIndexName(QStringLiteral("S_ixd"));
    std::stable_sort(reference.begin(), reference.end(),
                     [](const auto &a, const auto &b) { return b.first.toCaseFolded() < a.first.toCaseFolded(); });
    int pos = 0;
    for (t.first(); !t.eof(); t.next(), ++pos)
        ASSERT_EQ(t.fieldByName(QStringLiteral("ID")).asInteger(), reference[size_t(pos)].second) << pos;
}

TEST(MemTable, LongTextsThatDifferLateSortCorrectly)
{
    TMemTable t;
    t.addFieldDef(QStringLiteral("S"), TFieldType::Memo);
    t.createDataSet();
    const QString base(400000, QLatin1Char('x'));
    const QStringList texts = {base + QStringLiteral("b"), base, base + QStringLiteral("a"), base + QStringLiteral("b"),
                               base.left(10)};
    for (const QString &s : texts) {
        t.insert();
        t.fieldByName(QStringLiteral("S")).setAsString(s);
        t.post();
    }
    t.setIndexFieldNames(QStringLiteral("S"));
    QList<qsizetype> sizes;
    QStringList tails;
    for (t.first(); !t.eof(); t.next()) {
        const QString s = t.fieldByName(QStringLiteral("S")).asString();
        sizes << s.size();
        tails << s.right(1);
    }
    EXPECT_EQ(sizes, (QList<qsizetype>{10, 400000, 400001, 400001, 400001}));
    EXPECT_EQ(tails, (QStringList{"x", "x", "a", "b", "b"}));
}
