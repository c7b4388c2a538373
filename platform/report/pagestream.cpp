#include "pagestream.h"

#include "reportmodel.h"

#include <QDataStream>
#include <QIODevice>
#include <QRegularExpression>

namespace {
constexpr quint32 kMagic = 0x54504753; // "TPGS"
constexpr quint16 kVersion = 1;
} // namespace

int TPageStream::fontIndex(const TPageFont &font)
{
    for (size_t i = 0; i < fonts.size(); ++i)
        if (fonts[i] == font)
            return int(i);
    fonts.push_back(font);
    return int(fonts.size()) - 1;
}

QByteArray TPageStream::save() const
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << kMagic << kVersion << title << quint32(fonts.size());
    for (const TPageFont &f : fonts)
        out << f.face << f.bold << f.italic << f.size;
    out << quint32(pages.size());
    for (const TStreamPage &p : pages) {
        out << p.width << p.height << quint32(p.texts.size());
        for (const TPageText &t : p.texts)
            out << t.x << t.baseline << qint32(t.font) << t.text;
        out << quint32(p.lines.size());
        for (const TPageLine &l : p.lines)
            out << l.x1 << l.y1 << l.x2 << l.y2 << l.width;
    }
    return data;
}

TPageStream TPageStream::load(const QByteArray &data)
{
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_4);
    auto fail = [](const char *what) {
        throw EReportError(QStringLiteral("Stránky sestavy jsou poškozeny: %1").arg(QLatin1String(what)));
    };
    quint32 magic = 0;
    quint16 version = 0;
    in >> magic >> version;
    if (magic != kMagic)
        fail("neznámý formát");
    if (version != kVersion)
        fail("neznámá verze");
    TPageStream s;
    quint32 count = 0;
    in >> s.title >> count;
    // Counts are checked against what is left, so a damaged count cannot ask for gigabytes.
    auto plausible = [&](quint32 n, int minBytes) { return qint64(n) * minBytes <= data.size(); };
    if (!plausible(count, 4))
        fail("počet písem");
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        TPageFont f;
        in >> f.face >> f.bold >> f.italic >> f.size;
        s.fonts.push_back(f);
    }
    in >> count;
    if (!plausible(count, 24))
        fail("počet stran");
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        TStreamPage p;
        quint32 n = 0;
        in >> p.width >> p.height >> n;
        if (!plausible(n, 24))
            fail("počet textů");
        for (quint32 k = 0; k < n && in.status() == QDataStream::Ok; ++k) {
            TPageText t;
            qint32 font = 0;
            in >> t.x >> t.baseline >> font >> t.text;
            if (font < 0 || quint32(font) >= s.fonts.size())
                fail("odkaz na písmo");
            t.font = font;
            p.texts.push_back(std::move(t));
        }
        in >> n;
        if (!plausible(n, 40))
            fail("počet čar");
        for (quint32 k = 0; k < n && in.status() == QDataStream::Ok; ++k) {
            TPageLine l;
            in >> l.x1 >> l.y1 >> l.x2 >> l.y2 >> l.width;
            p.lines.push_back(l);
        }
        s.pages.push_back(std::move(p));
    }
    if (in.status() != QDataStream::Ok)
        fail("neočekávaný konec");
    if (!in.atEnd())
        fail("data navíc za koncem");
    return s;
}

std::vector<int> ParsePageList(const QString &list, int pageCount)
{
    static const QRegularExpression part(QStringLiteral("^\\s*(\\d+)\\s*(?:(-)\\s*(\\d*))?\\s*$"));
    std::vector<int> pages;
    const QStringList parts = list.split(QLatin1Char(','));
    for (const QString &p : parts) {
        if (p.trimmed().isEmpty())
            continue;
        const auto m = part.match(p);
        if (!m.hasMatch())
            throw EReportError(QStringLiteral("Neplatný seznam stran: %1").arg(list));
        const int from = qMax(1, m.captured(1).toInt());
        int to = from;
        if (!m.captured(2).isEmpty())
            to = m.captured(3).isEmpty() ? pageCount : m.captured(3).toInt();
        for (int page = from; page <= qMin(to, pageCount); ++page)
            pages.push_back(page);
    }
    return pages;
}
