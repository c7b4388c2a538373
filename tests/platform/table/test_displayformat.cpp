// Date and time display formats of fields: letter runs, minutes after an hour, quoted text.
#include <gtest/gtest.h>

#include "displayformat.h"
#include "formatsettings.h"

TEST(DisplayFormat, LetterRunsChooseBetweenPlainAndPaddedParts)
{
    const double value = EncodeDate(2007, 3, 4) + EncodeTime(5, 6, 7, 250);
    EXPECT_EQ(FormatDateTimeValue(QStringLiteral("d.m.y"), value), QStringLiteral("4.3.07"));
    EXPECT_EQ(FormatDateTimeValue(QStringLiteral("dd.mm.yyyy"), value), QStringLiteral("04.03.2007"));
    EXPECT_EQ(FormatDateTimeValue(QStringLiteral("h:n:s.z"), value), QStringLiteral("5:6:7.250"));
    EXPECT_EQ(FormatDateTimeValue(QStringLiteral("hh:nn:ss.zzz"), value), QStringLiteral("05:06:07.250"));
    // Right after an hour "m" and "mm" mean minutes; a longer run is the month again.
    EXPECT_EQ(FormatDateTimeValue(QStringLiteral("h:m"), value), QStringLiteral("5:6"));
    EXPECT_EQ(FormatDateTimeValue(QStringLiteral("hh:mm"), value), QStringLiteral("05:06"));
    EXPECT_EQ(FormatDateTimeValue(QStringLiteral("hh mmm"), value), QStringLiteral("05 03"));
    EXPECT_EQ(FormatDateTimeValue(QStringLiteral("d \"d\" 'm'"), value), QStringLiteral("4 d m"));
}
