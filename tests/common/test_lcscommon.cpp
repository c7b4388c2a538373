#include "exception.h"
#include "lcscommon.h"
#include "myutils.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {
struct LanguageGuard {
    int saved = LanguageIndex();
    ~LanguageGuard() { SetLanguageIndex(saved); }
};

QString errorOf(int index)
{
    try {
        CommonText(index);
    } catch (const Exception &e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

// The format placeholders of a text, in order ("%s", "%d", "%%", "%p", and a plain "%" with what follows).
QStringList placeholders(const QString &text)
{
    QStringList found;
    for (int i = 0; i < text.size(); ++i)
        if (text.at(i) == QLatin1Char('%')) {
            found << text.mid(i, 2);
            ++i;
        }
    return found;
}
} // namespace

TEST(CommonTexts, CurrentLanguagePicksTheTable)
{
    LanguageGuard guard;
    SetLanguageIndex(2);
    EXPECT_EQ(CommonText(2), QStringLiteral("&Zrušit"));
    EXPECT_EQ(CommonText(122), QStringLiteral("Z&oom: %d%% "));
    EXPECT_EQ(CommonText(71), QStringLiteral("Šablona s názvem \"%s\" již existuje. Přejete si ji přepsat?"));
    SetLanguageIndex(3);
    EXPECT_EQ(CommonText(2), QStringLiteral("&Zrušiť"));
    EXPECT_EQ(CommonText(30), QStringLiteral("Výstup pre tlačiareň a export"));
    EXPECT_EQ(CommonText(131), QStringLiteral("<Všetko>"));
    EXPECT_EQ(CommonText(132), QStringLiteral("<Nie je vybrané>"));
    EXPECT_EQ(CommonText(61), QStringLiteral("Počet záznamov: "));
    // English has no table of its own and reads the Czech one.
    SetLanguageIndex(1);
    EXPECT_EQ(CommonText(60), QStringLiteral("Součty:"));
}

TEST(CommonTexts, BadIndexOrEmptySlotRaisesTheIndexError)
{
    EXPECT_EQ(errorOf(0), QStringLiteral("Common language index 0error"));
    EXPECT_EQ(errorOf(200), QStringLiteral("Common language index 200error"));
    EXPECT_EQ(errorOf(-3), QStringLiteral("Common language index -3error"));
    EXPECT_EQ(errorOf(120), QStringLiteral("Common language index 120error"));
    EXPECT_EQ(errorOf(199), QStringLiteral("Common language index 199error"));
    QStringList list{QStringLiteral("kept")};
    EXPECT_THROW(CommonTextToList(128, list), Exception);
    EXPECT_EQ(list, QStringList{QStringLiteral("kept")});
}

TEST(CommonTexts, ListsSplitAtEverySemicolon)
{
    LanguageGuard guard;
    SetLanguageIndex(2);
    QStringList list{QStringLiteral("old")};
    CommonTextToList(54, list);
    EXPECT_EQ(list, QStringList({QStringLiteral("Implicitní měnitelná"), QStringLiteral("Na výšku"),
                                 QStringLiteral("Na šířku")}));
    CommonTextToList(47, list);
    ASSERT_EQ(list.size(), 5);
    EXPECT_EQ(list.at(4), QStringLiteral("Export do CSV souboru"));
    SetLanguageIndex(3);
    CommonTextToList(47, list);
    EXPECT_EQ(list.at(0), QStringLiteral("Preview pre tlačiareň a export do PDF"));
    CommonTextToList(1, list);
    EXPECT_EQ(list, QStringList{QStringLiteral("&OK")});
}

TEST(CommonTexts, BothTablesFillTheSameSlotsWithTheSamePlaceholdersAndItems)
{
    int filled = 0;
    for (int i = 1; i <= kCommonTextCount; ++i) {
        const QString cz = CommonTextOf(2, i);
        const QString sk = CommonTextOf(3, i);
        EXPECT_EQ(cz.isEmpty(), sk.isEmpty()) << "slot " << i;
        if (cz.isEmpty())
            continue;
        ++filled;
        EXPECT_EQ(placeholders(cz), placeholders(sk)) << "slot " << i;
        EXPECT_EQ(cz.count(QLatin1Char(';')), sk.count(QLatin1Char(';'))) << "slot " << i;
        EXPECT_EQ(cz.startsWith(QLatin1Char('&')), sk.startsWith(QLatin1Char('&'))) << "slot " << i;
        EXPECT_EQ(cz.count(QLatin1Char('&')), sk.count(QLatin1Char('&'))) << "slot " << i;
        EXPECT_EQ(cz.endsWith(QLatin1Char(' ')), sk.endsWith(QLatin1Char(' '))) << "slot " << i;
        EXPECT_FALSE(cz.contains(QChar::ReplacementCharacter)) << "slot " << i;
        EXPECT_FALSE(sk.contains(QChar::ReplacementCharacter)) << "slot " << i;
    }
    EXPECT_EQ(filled, 145);
    // Each slot is given once in each table.
    for (auto table : {CommonTextsCsy(), CommonTextsSvk()}) {
        QList<int> seen;
        for (const CommonTextEntry &e : table) {
            EXPECT_FALSE(seen.contains(e.index)) << e.index;
            seen << e.index;
        }
    }
    EXPECT_EQ(placeholders(CommonTextOf(3, 112)), QStringList{QStringLiteral("%p")});
}

TEST(ResourceStrings, ReplacedTextsAreWhatTheEngineReads)
{
    EXPECT_EQ(ResourceString(rsInvalidDate), QStringLiteral("'%s' is not a valid date"));
    EXPECT_EQ(ResourceString(rsInvalidFloatForField),
              QStringLiteral("'%s' is not a valid floating point value for field '%s'"));
    EXPECT_EQ(ResourceString(rsDeleteRecordQuestion), QStringLiteral("Delete record?"));
    EXPECT_TRUE(ReplaceResourceString(rsInvalidDate, CommonTextOf(2, 77)));
    EXPECT_TRUE(ReplaceResourceString(rsDeleteRecordQuestion, CommonTextOf(2, 21)));
    EXPECT_EQ(ResourceString(rsInvalidDate), QStringLiteral("'%s' není platné datum"));
    EXPECT_EQ(ResourceString(rsDeleteRecordQuestion), QStringLiteral("Opravdu smazat záznam?"));
    EXPECT_FALSE(ReplaceResourceString(ResourceRecord(3), QStringLiteral("x")));
    EXPECT_FALSE(ReplaceResourceString(ResourceRecord(-1), QStringLiteral("x")));
    EXPECT_TRUE(ResourceString(ResourceRecord(9)).isEmpty());
    ResetResourceStrings();
    EXPECT_EQ(ResourceString(rsInvalidDate), QStringLiteral("'%s' is not a valid date"));
}
