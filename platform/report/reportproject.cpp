#include "reportproject.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {

constexpr auto kFormatName = "tembrel-report-project";
constexpr int kFormatVersion = 1;

const char *const kControlKinds[] = {"text", "dataText", "calcText", "hline"};
const char *const kBandKinds[] = {"titleHeader", "pageHeader", "detail", "footer"};
const char *const kJustify[] = {"left", "center", "right"};
const char *const kCalc[] = {"sum", "count"};

QJsonObject StoreFont(const TReportFont &f)
{
    return {{"face", f.face}, {"size", f.size}, {"bold", f.bold}, {"italic", f.italic}, {"underline", f.underline}};
}

QJsonObject StoreControl(const TReportControl &c)
{
    QJsonObject o{{"name", c.name}, {"kind", kControlKinds[int(c.kind)]}, {"left", c.left}, {"top", c.top},
                  {"width", c.width}, {"height", c.height}, {"font", StoreFont(c.font)},
                  {"justify", kJustify[int(c.justify)]}, {"anchors", c.anchors}, {"text", c.text}};
    if (c.kind == TControlKind::CalcText) {
        o.insert("calc", kCalc[int(c.calc)]);
        o.insert("displayFormat", c.displayFormat);
    }
    if (c.kind == TControlKind::HLine)
        o.insert("lineWidth", c.lineWidth);
    return o;
}

QJsonArray StoreControls(const std::vector<TReportControl> &controls)
{
    QJsonArray a;
    for (const auto &c : controls)
        a.append(StoreControl(c));
    return a;
}

// Reading: each accessor names the member's path in its error.
class Reader {
public:
    [[noreturn]] static void Fail(const QString &path, const QString &what)
    {
        throw EReportError(QStringLiteral("Projekt sestavy je poškozen: %1 (%2)").arg(what, path));
    }
    static QJsonValue Member(const QJsonObject &o, const QString &path, const char *key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            Fail(path + '/' + key, QStringLiteral("chybí"));
        return v;
    }
    static double Number(const QJsonObject &o, const QString &path, const char *key, double min, double max)
    {
        const QJsonValue v = Member(o, path, key);
        if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() < min || v.toDouble() > max)
            Fail(path + '/' + key, QStringLiteral("není číslo v mezích %1 až %2").arg(min).arg(max));
        return v.toDouble();
    }
    static QString Text(const QJsonObject &o, const QString &path, const char *key)
    {
        const QJsonValue v = Member(o, path, key);
        if (!v.isString())
            Fail(path + '/' + key, QStringLiteral("není text"));
        return v.toString();
    }
    static bool Flag(const QJsonObject &o, const QString &path, const char *key)
    {
        const QJsonValue v = Member(o, path, key);
        if (!v.isBool())
            Fail(path + '/' + key, QStringLiteral("není logická hodnota"));
        return v.toBool();
    }
    template <size_t N>
    static int Choice(const QJsonObject &o, const QString &path, const char *key, const char *const (&names)[N])
    {
        const QString s = Text(o, path, key);
        for (size_t i = 0; i < N; ++i)
            if (s == QLatin1String(names[i]))
                return int(i);
        Fail(path + '/' + key, QStringLiteral("neznámá hodnota \"%1\"").arg(s));
    }
    static QJsonObject Object(const QJsonObject &o, const QString &path, const char *key)
    {
        const QJsonValue v = Member(o, path, key);
        if (!v.isObject())
            Fail(path + '/' + key, QStringLiteral("není objekt"));
        return v.toObject();
    }
    static QJsonArray Array(const QJsonObject &o, const QString &path, const char *key)
    {
        const QJsonValue v = Member(o, path, key);
        if (!v.isArray())
            Fail(path + '/' + key, QStringLiteral("není seznam"));
        return v.toArray();
    }
    static QJsonObject Item(const QJsonArray &a, int i, const QString &path)
    {
        if (!a.at(i).isObject())
            Fail(path + '/' + QString::number(i), QStringLiteral("není objekt"));
        return a.at(i).toObject();
    }
};

constexpr double kMaxMeasure = 1000; // inches; far beyond any paper

TReportFont LoadFont(const QJsonObject &o, const QString &path)
{
    TReportFont f;
    f.face = Reader::Text(o, path, "face");
    f.size = Reader::Number(o, path, "size", 1, 1000);
    f.bold = Reader::Flag(o, path, "bold");
    f.italic = Reader::Flag(o, path, "italic");
    f.underline = Reader::Flag(o, path, "underline");
    return f;
}

TReportControl LoadControl(const QJsonObject &o, const QString &path)
{
    TReportControl c;
    c.name = Reader::Text(o, path, "name");
    c.kind = TControlKind(Reader::Choice(o, path, "kind", kControlKinds));
    c.left = Reader::Number(o, path, "left", -kMaxMeasure, kMaxMeasure);
    c.top = Reader::Number(o, path, "top", -kMaxMeasure, kMaxMeasure);
    c.width = Reader::Number(o, path, "width", 0, kMaxMeasure);
    c.height = Reader::Number(o, path, "height", 0, kMaxMeasure);
    c.font = LoadFont(Reader::Object(o, path, "font"), path + "/font");
    c.justify = TJustify(Reader::Choice(o, path, "justify", kJustify));
    c.anchors = int(Reader::Number(o, path, "anchors", 0, 63));
    c.text = Reader::Text(o, path, "text");
    if (c.kind == TControlKind::CalcText) {
        c.calc = TCalcKind(Reader::Choice(o, path, "calc", kCalc));
        c.displayFormat = Reader::Text(o, path, "displayFormat");
    }
    if (c.kind == TControlKind::HLine)
        c.lineWidth = Reader::Number(o, path, "lineWidth", 0, 100);
    return c;
}

std::vector<TReportControl> LoadControls(const QJsonObject &o, const QString &path)
{
    const QJsonArray a = Reader::Array(o, path, "controls");
    std::vector<TReportControl> controls;
    for (int i = 0; i < a.size(); ++i)
        controls.push_back(LoadControl(Reader::Item(a, i, path + "/controls"), path + "/controls/" + QString::number(i)));
    return controls;
}

} // namespace

QByteArray StoreReportProject(const TReportProject &project)
{
    QJsonArray reports;
    for (const TReport &r : project.reports) {
        const TReportPage &p = r.page;
        QJsonArray regions;
        for (const TReportRegion &g : p.regions) {
            QJsonArray bands;
            for (const TReportBand &b : g.bands)
                bands.append(QJsonObject{{"name", b.name}, {"kind", kBandKinds[int(b.kind)]}, {"height", b.height},
                                         {"controls", StoreControls(b.controls)}});
            regions.append(QJsonObject{{"name", g.name}, {"left", g.left}, {"top", g.top}, {"width", g.width},
                                       {"height", g.height}, {"anchors", g.anchors}, {"dataView", g.dataView},
                                       {"bands", bands}});
        }
        QJsonObject page{{"name", p.name}, {"paper", "A4"}, {"orientation", p.orientation},
                         {"margins", QJsonArray{p.marginLeft, p.marginTop, p.marginRight, p.marginBottom}},
                         {"controls", StoreControls(p.controls)}, {"regions", regions}};
        reports.append(QJsonObject{{"name", r.name}, {"fullName", r.fullName}, {"page", page}});
    }
    const QJsonObject root{{"format", kFormatName}, {"version", kFormatVersion}, {"reports", reports}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

TReportProject LoadReportProject(const QByteArray &stream)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(stream, &error);
    if (error.error != QJsonParseError::NoError)
        throw EReportError(QStringLiteral("Projekt sestavy je poškozen: %1 na pozici %2")
                               .arg(error.errorString())
                               .arg(error.offset));
    if (!doc.isObject())
        Reader::Fail(QStringLiteral("/"), QStringLiteral("není objekt"));
    const QJsonObject root = doc.object();
    if (root.value("format").toString() != QLatin1String(kFormatName))
        Reader::Fail(QStringLiteral("/format"), QStringLiteral("není projekt sestavy"));
    const int version = int(Reader::Number(root, {}, "version", 1, 1000));
    if (version > kFormatVersion)
        Reader::Fail(QStringLiteral("/version"), QStringLiteral("verze %1 je novější než tento program").arg(version));

    TReportProject project;
    const QJsonArray reports = Reader::Array(root, {}, "reports");
    for (int i = 0; i < reports.size(); ++i) {
        const QString rp = "/reports/" + QString::number(i);
        const QJsonObject ro = Reader::Item(reports, i, "/reports");
        TReport r;
        r.name = Reader::Text(ro, rp, "name");
        r.fullName = Reader::Text(ro, rp, "fullName");
        const QString pp = rp + "/page";
        const QJsonObject po = Reader::Object(ro, rp, "page");
        TReportPage &p = r.page;
        p.name = Reader::Text(po, pp, "name");
        if (Reader::Text(po, pp, "paper") != QLatin1String("A4"))
            Reader::Fail(pp + "/paper", QStringLiteral("neznámý formát papíru"));
        p.orientation = int(Reader::Number(po, pp, "orientation", 0, 2));
        const QJsonArray m = Reader::Array(po, pp, "margins");
        if (m.size() != 4)
            Reader::Fail(pp + "/margins", QStringLiteral("nemá čtyři okraje"));
        double margins[4];
        for (int k = 0; k < 4; ++k) {
            if (!m.at(k).isDouble() || m.at(k).toDouble() < 0 || m.at(k).toDouble() > 10)
                Reader::Fail(pp + "/margins/" + QString::number(k), QStringLiteral("není okraj"));
            margins[k] = m.at(k).toDouble();
        }
        p.marginLeft = margins[0];
        p.marginTop = margins[1];
        p.marginRight = margins[2];
        p.marginBottom = margins[3];
        p.controls = LoadControls(po, pp);
        const QJsonArray regions = Reader::Array(po, pp, "regions");
        for (int k = 0; k < regions.size(); ++k) {
            const QString gp = pp + "/regions/" + QString::number(k);
            const QJsonObject go = Reader::Item(regions, k, pp + "/regions");
            TReportRegion g;
            g.name = Reader::Text(go, gp, "name");
            g.left = Reader::Number(go, gp, "left", -kMaxMeasure, kMaxMeasure);
            g.top = Reader::Number(go, gp, "top", -kMaxMeasure, kMaxMeasure);
            g.width = Reader::Number(go, gp, "width", 0, kMaxMeasure);
            g.height = Reader::Number(go, gp, "height", 0, kMaxMeasure);
            g.anchors = int(Reader::Number(go, gp, "anchors", 0, 63));
            g.dataView = Reader::Text(go, gp, "dataView");
            const QJsonArray bands = Reader::Array(go, gp, "bands");
            for (int b = 0; b < bands.size(); ++b) {
                const QString bp = gp + "/bands/" + QString::number(b);
                const QJsonObject bo = Reader::Item(bands, b, gp + "/bands");
                TReportBand band;
                band.name = Reader::Text(bo, bp, "name");
                band.kind = TBandKind(Reader::Choice(bo, bp, "kind", kBandKinds));
                band.height = Reader::Number(bo, bp, "height", 0, kMaxMeasure);
                band.controls = LoadControls(bo, bp);
                g.bands.push_back(std::move(band));
            }
            p.regions.push_back(std::move(g));
        }
        project.reports.push_back(std::move(r));
    }
    return project;
}
