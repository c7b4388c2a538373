#pragma once
#include <QByteArray>
#include <QString>
#include <vector>

// The pages a report run produces, ready for any renderer: per page its size
// and its text runs and rules, placed in points from the page's top left corner.
// Text runs are already measured and justified, so every renderer puts each
// glyph where the others do.

struct TPageFont {
    QString face;
    bool bold = false;
    bool italic = false;
    double size = 10; // points
    bool operator==(const TPageFont &) const = default;
};

struct TPageText {
    double x = 0;        // left end of the text
    double baseline = 0; // from the page top
    int font = 0;        // index into TPageStream::fonts
    QString text;
};

struct TPageLine {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    double width = 1;
};

struct TStreamPage {
    double width = 0; // points
    double height = 0;
    std::vector<TPageText> texts;
    std::vector<TPageLine> lines;
};

struct TPageStream {
    QString title;
    std::vector<TPageFont> fonts;
    std::vector<TStreamPage> pages;

    int pageCount() const { return int(pages.size()); }
    int fontIndex(const TPageFont &font); // adds the font when new

    // Binary form (magic "TPGS", version, Qt data stream); load raises EReportError.
    QByteArray save() const;
    static TPageStream load(const QByteArray &data);
};

// Pages of a page list such as "1-3,5" or "2-" (open end: to the last page),
// 1-based, in the order given, kept within 1..pageCount. Raises EReportError
// on anything else.
std::vector<int> ParsePageList(const QString &list, int pageCount);
