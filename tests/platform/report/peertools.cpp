#include "peertools.h"

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <cmath>

#include "pagepainter.h"
#include <QStandardPaths>

int RunPeer(const QString &program, const QStringList &args, QByteArray *out, QByteArray *err, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool HavePeer(const QString &program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

QImage RenderPage(const TPageStream &stream, int page, int dpi)
{
    const double scale = dpi / 72.0;
    const TStreamPage &p = stream.pages[size_t(page)];
    QImage image(int(std::ceil(p.width * scale)), int(std::ceil(p.height * scale)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TPagePainter().paint(painter, stream, page, scale);
    painter.end();
    return image.convertToFormat(QImage::Format_Grayscale8);
}

Difference ComparePages(const QImage &a, const QImage &b)
{
    const int w = qMin(a.width(), b.width()), h = qMin(a.height(), b.height());
    auto at = [](const QImage &img, int x, int y) { return int(img.constScanLine(y)[x]); };
    auto blur = [&](const QImage &img, int x, int y) {
        int sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                sum += at(img, x + dx, y + dy);
        return sum / 9.0;
    };
    auto nearInk = [&](const QImage &img, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (at(img, x + dx, y + dy) <= 192)
                    return true;
        return false;
    };
    double sum = 0;
    qint64 ink = 0, missed = 0;
    for (int y = 1; y < h - 1; ++y) {
        for (int x = 1; x < w - 1; ++x) {
            sum += std::abs(blur(a, x, y) - blur(b, x, y));
            if (at(a, x, y) < 64) {
                ++ink;
                missed += !nearInk(b, x, y);
            }
            if (at(b, x, y) < 64) {
                ++ink;
                missed += !nearInk(a, x, y);
            }
        }
    }
    Difference d;
    d.meanAbs = sum / (qint64(w - 2) * (h - 2));
    d.inkMissed = ink ? double(missed) / ink : 0;
    return d;
}

