#pragma once
#include <QString>
#include <vector>

#include "exception.h"

// The banded report model. Measures are inches, font sizes points. A report has
// one page with controls of its own (page numbers and the like) and regions;
// a region holds bands that a data band controls: headers once or on every
// page, the data band once per row of its data view, and a footer after the rows.

class EReportError : public Exception {
public:
    using Exception::Exception;
};

struct TReportFont {
    QString face = QStringLiteral("Arial");
    double size = 10;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

enum class TJustify { Left, Center, Right };

// Edges a control keeps its distance to when the page is not the size it was
// designed on; left and right together stretch it.
enum TAnchor {
    AnchorLeft = 1,
    AnchorTop = 2,
    AnchorRight = 4,
    AnchorBottom = 8,
    AnchorHCenter = 16,
    AnchorVCenter = 32,
};

enum class TControlKind {
    Text,     // text: the text shown
    DataText, // text: an expression ('literal' + FIELD + Page + PageCount)
    CalcText, // text: the field summed or counted, shown with displayFormat
    HLine,    // a horizontal rule of lineWidth points
};

enum class TCalcKind { Sum, Count };

struct TReportControl {
    QString name;
    TControlKind kind = TControlKind::Text;
    double left = 0;
    double top = 0;
    double width = 1;
    double height = 0; // 0: the font's line height
    TReportFont font;
    TJustify justify = TJustify::Left;
    int anchors = AnchorLeft | AnchorTop;
    QString text;
    TCalcKind calc = TCalcKind::Sum;
    QString displayFormat;
    double lineWidth = 1;
};

enum class TBandKind {
    TitleHeader, // body header printed once, before the first row
    PageHeader,  // body header on the first page and on every new page
    Detail,      // one pass per row of the data view
    Footer,      // body footer, after the last row
};

struct TReportBand {
    QString name;
    TBandKind kind = TBandKind::Detail;
    double height = 0; // 0: as tall as its controls
    std::vector<TReportControl> controls;
};

struct TReportRegion {
    QString name;
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    int anchors = AnchorLeft | AnchorTop | AnchorRight | AnchorBottom;
    QString dataView; // the data view the detail band runs over
    std::vector<TReportBand> bands;
};

enum class TPaper { A4 };

struct TReportPage {
    QString name = QStringLiteral("Page1");
    TPaper paper = TPaper::A4;
    int orientation = 0; // 0 portrait, 1 landscape, 2 the printer's (designed as portrait)
    double marginLeft = 0.25;
    double marginTop = 0.25;
    double marginRight = 0.25;
    double marginBottom = 0.25;
    std::vector<TReportControl> controls;
    std::vector<TReportRegion> regions;

    // The paper in the orientation given (0 portrait, 1 landscape), inches.
    static double PaperWidth(TPaper paper, int orientation);
    static double PaperHeight(TPaper paper, int orientation);
    // The size the controls were placed on.
    double designWidth() const { return PaperWidth(paper, orientation == 1 ? 1 : 0); }
    double designHeight() const { return PaperHeight(paper, orientation == 1 ? 1 : 0); }
};

struct TReport {
    QString name = QStringLiteral("Report1");
    QString fullName;
    TReportPage page;
};

struct TReportProject {
    std::vector<TReport> reports;
    const TReport *findReport(const QString &name) const;
};

const TReportBand *FindBand(const TReportRegion &region, TBandKind kind);
