#include "reportrunner.h"

#include "displayformat.h"
#include "reportfonts.h"

#include <cmath>
#include <memory>

QString TReportDataSource::formatNumber(int, const QString &format, double value) const
{
    return DefaultFormatNumber(format, value);
}

QString DefaultFormatNumber(const QString &format, double value)
{
    if (format.isEmpty())
        return value == std::floor(value) && std::fabs(value) < 1e15 ? QString::number(qint64(value))
                                                                     : QString::number(value, 'g', 15);
    return FormatNumber(format, value);
}

namespace {

constexpr double kPt = 72.0; // points per inch

// A data-bound expression: terms joined by "+": 'literal' (quotes doubled
// inside), a field name, Page, PageCount.
struct Term {
    enum Kind { Literal, Field, Page, PageCount } kind;
    QString text;
    int field = -1;
};

std::vector<Term> ParseExpression(const QString &expr, const TReportDataSource *source, const QString &control)
{
    std::vector<Term> terms;
    auto fail = [&](const QString &why) {
        throw EReportError(QStringLiteral("Chybný výraz prvku %1: %2 (%3)").arg(control, why, expr));
    };
    int i = 0;
    const int n = expr.size();
    auto skipBlanks = [&] { while (i < n && expr[i].isSpace()) ++i; };
    skipBlanks();
    if (i == n)
        return terms;
    for (;;) {
        skipBlanks();
        if (i == n)
            fail(QStringLiteral("chybí člen"));
        const QChar c = expr[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            QString lit;
            ++i;
            for (;;) {
                if (i == n)
                    fail(QStringLiteral("neukončený text"));
                if (expr[i] == c) {
                    if (i + 1 < n && expr[i + 1] == c) {
                        lit += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                lit += expr[i++];
            }
            terms.push_back({Term::Literal, lit});
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            const int start = i;
            while (i < n && (expr[i].isLetterOrNumber() || expr[i] == QLatin1Char('_')))
                ++i;
            const QString name = expr.mid(start, i - start);
            if (name == QLatin1String("Page")) {
                terms.push_back({Term::Page, name});
            } else if (name == QLatin1String("PageCount")) {
                terms.push_back({Term::PageCount, name});
            } else {
                const int field = source ? source->fieldIndex(name) : -1;
                if (field < 0)
                    fail(QStringLiteral("neznámé pole %1").arg(name));
                terms.push_back({Term::Field, name, field});
            }
        } else {
            fail(QStringLiteral("neočekávaný znak '%1'").arg(c));
        }
        skipBlanks();
        if (i == n)
            break;
        if (expr[i] != QLatin1Char('+'))
            fail(QStringLiteral("očekává se +"));
        ++i;
    }
    return terms;
}

bool UsesPages(const std::vector<Term> &terms)
{
    for (const Term &t : terms)
        if (t.kind == Term::Page || t.kind == Term::PageCount)
            return true;
    return false;
}

QString Evaluate(const std::vector<Term> &terms, const TReportDataSource *source, int row, int page, int pageCount)
{
    QString s;
    for (const Term &t : terms) {
        switch (t.kind) {
        case Term::Literal: s += t.text; break;
        case Term::Field:
            if (source && row >= 0)
                s += source->displayText(row, t.field);
            break;
        case Term::Page: s += QString::number(page); break;
        case Term::PageCount: s += QString::number(pageCount); break;
        }
    }
    return s;
}

struct Box {
    double left, top, width, height;
};

// Where an anchored box lands when its container grew by dx, dy.
Box Adjust(Box b, int anchors, double dx, double dy)
{
    if (anchors & AnchorRight) {
        if (anchors & AnchorLeft)
            b.width += dx;
        else
            b.left += dx;
    } else if (anchors & AnchorHCenter) {
        b.left += dx / 2;
    }
    if (anchors & AnchorBottom) {
        if (anchors & AnchorTop)
            b.height += dy;
        else
            b.top += dy;
    } else if (anchors & AnchorVCenter) {
        b.top += dy / 2;
    }
    return b;
}

double ControlHeight(const TReportControl &c)
{
    if (c.height > 0)
        return c.height;
    if (c.kind == TControlKind::HLine)
        return c.lineWidth / kPt;
    const auto font = ReportFont(c.font.face, c.font.bold, c.font.italic);
    return font->lineHeight() * c.font.size / 1000.0 / kPt;
}

double BandHeight(const TReportBand &band)
{
    if (band.height > 0)
        return band.height;
    double h = 0;
    for (const TReportControl &c : band.controls)
        h = qMax(h, c.top + ControlHeight(c));
    return h + 0.01;
}

class Runner {
public:
    Runner(const TReport &report, const QHash<QString, const TReportDataSource *> &views, const TReportRunOptions &options)
        : m_report(report), m_views(views), m_options(options)
    {
        const TReportPage &p = report.page;
        const int orientation = options.orientation >= 0 ? options.orientation : (p.orientation == 1 ? 1 : 0);
        m_pageW = TReportPage::PaperWidth(p.paper, orientation);
        m_pageH = TReportPage::PaperHeight(p.paper, orientation);
        m_dx = m_pageW - p.designWidth();
        m_dy = m_pageH - p.designHeight();
        m_out.title = report.fullName;
    }

    TPageStream run()
    {
        const TReportPage &p = m_report.page;
        m_pageControls = prepare(p.controls, nullptr);
        for (const TReportRegion &region : p.regions) {
            const TReportDataSource *source = nullptr;
            if (!region.dataView.isEmpty()) {
                source = m_views.value(region.dataView);
                if (!source)
                    throw EReportError(QStringLiteral("Sestava %1: chybí datový pohled %2").arg(m_report.name, region.dataView));
            }
            runRegion(region, source);
        }
        if (m_out.pages.empty())
            newPage();
        const int count = m_out.pageCount();
        for (const Deferred &d : m_deferred)
            place(*d.control, d.box, Evaluate(d.terms, d.source, d.row, d.page + 1, count), d.page);
        return std::move(m_out);
    }

private:
    struct Prepared {
        const TReportControl *control;
        std::vector<Term> terms;
        bool usesPages = false;
        int calcField = -1;
        double calcValue = 0;
    };
    struct Deferred {
        const TReportControl *control;
        std::vector<Term> terms; // a copy: the band's prepared controls end with its region
        const TReportDataSource *source;
        int row;
        int page;
        Box box;
    };

    std::vector<Prepared> prepare(const std::vector<TReportControl> &controls, const TReportDataSource *source)
    {
        std::vector<Prepared> prepared;
        prepared.reserve(controls.size());
        for (const TReportControl &c : controls) {
            Prepared p{&c, {}};
            if (c.kind == TControlKind::DataText) {
                p.terms = ParseExpression(c.text, source, c.name);
                p.usesPages = UsesPages(p.terms);
            } else if (c.kind == TControlKind::CalcText) {
                if (!c.text.isEmpty()) {
                    p.calcField = source ? source->fieldIndex(c.text) : -1;
                    if (p.calcField < 0)
                        throw EReportError(QStringLiteral("Chybný výraz prvku %1: neznámé pole %2").arg(c.name, c.text));
                } else if (c.calc == TCalcKind::Sum) {
                    throw EReportError(QStringLiteral("Chybný výraz prvku %1: součet bez pole").arg(c.name));
                }
                if (source) {
                    const int rows = source->rowCount();
                    for (int r = 0; r < rows; ++r) {
                        if (p.calcField >= 0 && source->isNull(r, p.calcField))
                            continue;
                        p.calcValue += c.calc == TCalcKind::Sum ? source->number(r, p.calcField) : 1;
                    }
                }
            }
            prepared.push_back(std::move(p));
        }
        return prepared;
    }

    void newPage()
    {
        TStreamPage page;
        page.width = m_pageW * kPt;
        page.height = m_pageH * kPt;
        m_out.pages.push_back(std::move(page));
        const int index = m_out.pageCount() - 1;
        if (m_options.pageStatus) {
            QString status = m_options.pageStatusFormat;
            m_options.pageStatus(status.replace(QLatin1String("%p"), QString::number(index + 1)));
        }
        for (const Prepared &p : m_pageControls) {
            const TReportControl &c = *p.control;
            const Box box = Adjust({c.left, c.top, c.width, ControlHeight(c)}, c.anchors, m_dx, m_dy);
            emitControl(p, box, nullptr, -1);
        }
    }

    void runRegion(const TReportRegion &region, const TReportDataSource *source)
    {
        const Box area = Adjust({region.left, region.top, region.width, region.height}, region.anchors, m_dx, m_dy);
        const double regionDx = area.width - region.width;
        const double bottom = area.top + area.height;
        struct BandRun {
            const TReportBand *band = nullptr;
            std::vector<Prepared> controls;
            double height = 0;
        };
        auto bandRun = [&](TBandKind kind) {
            BandRun b;
            b.band = FindBand(region, kind);
            if (b.band) {
                b.controls = prepare(b.band->controls, source);
                b.height = BandHeight(*b.band);
            }
            return b;
        };
        const BandRun title = bandRun(TBandKind::TitleHeader);
        const BandRun header = bandRun(TBandKind::PageHeader);
        const BandRun detail = bandRun(TBandKind::Detail);
        const BandRun footer = bandRun(TBandKind::Footer);

        double y = 0;
        double contentTop = 0; // below the page header: a band placed here fills an empty page
        auto print = [&](const BandRun &b, int row) {
            for (const Prepared &p : b.controls) {
                const TReportControl &c = *p.control;
                Box box = Adjust({c.left, c.top, c.width, ControlHeight(c)}, c.anchors, regionDx, 0);
                box.left += area.left;
                box.top += y;
                emitControl(p, box, source, row);
            }
            y += b.height;
        };
        auto startPage = [&](bool withTitle) {
            newPage();
            y = area.top;
            if (withTitle && title.band)
                print(title, -1);
            if (header.band)
                print(header, -1);
            contentTop = y;
        };
        // Bands taller than the whole region go on a page of their own rather than forever to the next.
        auto fit = [&](const BandRun &b) {
            if (y + b.height > bottom + 1e-9 && y > contentTop + 1e-9)
                startPage(false);
        };

        startPage(true);
        if (detail.band && source) {
            const int rows = source->rowCount();
            for (int row = 0; row < rows; ++row) {
                fit(detail);
                print(detail, row);
            }
        }
        if (footer.band) {
            fit(footer);
            print(footer, -1);
        }
    }

    void emitControl(const Prepared &p, const Box &box, const TReportDataSource *source, int row)
    {
        const TReportControl &c = *p.control;
        const int page = m_out.pageCount() - 1;
        switch (c.kind) {
        case TControlKind::Text: place(c, box, c.text, page); break;
        case TControlKind::DataText:
            if (p.usesPages)
                m_deferred.push_back({&c, p.terms, source, row, page, box});
            else
                place(c, box, Evaluate(p.terms, source, row, page + 1, 0), page);
            break;
        case TControlKind::CalcText:
            place(c, box, source ? source->formatNumber(p.calcField, c.displayFormat, p.calcValue)
                                 : DefaultFormatNumber(c.displayFormat, p.calcValue), page);
            break;
        case TControlKind::HLine: {
            const double y = box.top * kPt + c.lineWidth / 2;
            m_out.pages[page].lines.push_back({box.left * kPt, y, (box.left + box.width) * kPt, y, c.lineWidth});
            break;
        }
        }
    }

    // Measures, cuts and justifies one text. Values are cut at their box so that
    // a long one stays in its column; fixed texts are the designer's and show whole.
    void place(const TReportControl &c, const Box &box, const QString &text, int page)
    {
        const bool cut = c.kind != TControlKind::Text;
        if (text.isEmpty())
            return;
        const auto font = ReportFont(c.font.face, c.font.bold, c.font.italic);
        const double size = c.font.size;
        const double boxWidth = box.width * kPt;
        QString shown;
        double width = 0;
        for (char32_t code : text.toUcs4()) {
            double w = 0;
            if (font->kind() == TrextPDFFont::TrueType) {
                const int g = font->glyphFor(code);
                if (g < 0)
                    continue;
                w = font->glyphWidth(g) * size / 1000.0;
            } else {
                w = font->ansiWidth(code) * size / 1000.0;
            }
            if (cut && width + w > boxWidth + 0.01)
                break;
            width += w;
            shown += QString::fromUcs4(&code, 1);
        }
        if (shown.isEmpty())
            return;
        double x = box.left * kPt;
        if (c.justify == TJustify::Center)
            x += (boxWidth - width) / 2;
        else if (c.justify == TJustify::Right)
            x += boxWidth - width;
        const double baseline = box.top * kPt + font->lineAscent() * size / 1000.0;
        TStreamPage &target = m_out.pages[page];
        const int fontIndex = m_out.fontIndex({c.font.face, c.font.bold, c.font.italic, size});
        target.texts.push_back({x, baseline, fontIndex, shown});
        if (c.font.underline) {
            const double thickness = font->underlineThickness() * size / 1000.0;
            const double y = baseline - font->underlinePosition() * size / 1000.0 + thickness / 2;
            target.lines.push_back({x, y, x + width, y, thickness});
        }
    }

    const TReport &m_report;
    const QHash<QString, const TReportDataSource *> &m_views;
    const TReportRunOptions &m_options;
    double m_pageW, m_pageH, m_dx, m_dy;
    TPageStream m_out;
    std::vector<Prepared> m_pageControls;
    std::vector<Deferred> m_deferred;
};

} // namespace

TPageStream RunReport(const TReportProject &project, const QString &reportName,
                      const QHash<QString, const TReportDataSource *> &views, const TReportRunOptions &options)
{
    const TReport *report = project.findReport(reportName);
    if (!report)
        throw EReportError(QStringLiteral("Sestava %1 v projektu není").arg(reportName));
    return Runner(*report, views, options).run();
}
