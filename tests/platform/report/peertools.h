#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "pagestream.h"

class QImage;

// Runs a peer program to its end; exit code, or -1 when it could not start.
int RunPeer(const QString &program, const QStringList &args, QByteArray *out = nullptr, QByteArray *err = nullptr,
            int timeoutMs = 120000);
bool HavePeer(const QString &program);

// Our painter's rendering of a page at dpi, in grey levels.
QImage RenderPage(const TPageStream &stream, int page, int dpi);

struct Difference {
    double meanAbs = 0;   // 0..255 over the whole page, after a 3x3 box blur
    double inkMissed = 0; // share of dark pixels of either image with no dark-ish pixel near them in the other
};
// Rasterisers may place an edge a pixel apart; the comparison forgives that much and no more.
Difference ComparePages(const QImage &a, const QImage &b);
