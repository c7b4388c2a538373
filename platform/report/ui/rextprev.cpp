#include "rextprev.h"

#include "filechooser.h"
#include "lcscommon.h"
#include "myutils.h"
#include "pdfwriter.h"
#include "printrenderer.h"
#include "progress.h"
#include "inputex.h"
#include "reportproject.h"
#include "rextprd.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace {
constexpr int kRuler = 22; // pixels of each ruler

QString DelphiFormat(QString text, std::initializer_list<QString> args)
{
    for (const QString &a : args) {
        const qsizetype at = text.indexOf(QRegularExpression(QStringLiteral("%[sd]")));
        if (at < 0)
            break;
        text.replace(at, 2, a);
    }
    return text.replace(QLatin1String("%%"), QLatin1String("%"));
}

// The save dialog of every PDF export: asks before overwriting, adds ".pdf" to a bare name.
bool ChoosePdfFile(QString &fileName)
{
    TFileDialogSpec spec{CommonText(107), CommonText(108) + QStringLiteral(" (*.pdf)|*.pdf"), QStringLiteral("pdf"),
                         QString(), true};
    if (!ExecuteSaveDialog(spec))
        return false;
    fileName = spec.FileName;
    return true;
}

// Runs the report with the page being produced in the progress window, when there is one.
TPageStream RunWithStatus(const QByteArray &projectStream, const QString &reportName, const TReportViews &views,
                          Tfprogress *progress, int orientation)
{
    const TReportProject project = LoadReportProject(projectStream);
    TReportRunOptions options;
    options.orientation = orientation;
    options.pageStatusFormat = CommonText(112);
    if (progress)
        options.pageStatus = [progress](const QString &status) { ProgressMessage(progress, status); };
    return RunReport(project, reportName, views, options);
}

void OfferToOpen(const QString &fileName)
{
    if (ShowMessageBox(CommonText(109), mkConfirmation, mbOK | mbCancel) == mrOk)
        OpenDocument(fileName);
}
} // namespace

// The page on white, zoomed, with rulers in centimetres along its top and left edges.
class TPreviewPageWidget : public QWidget {
public:
    explicit TPreviewPageWidget(Tfrextprev *owner) : QWidget(owner), m_owner(owner) {}

    double scale() const { return m_owner->m_zoom / 100.0 * logicalDpiX() / 72.0; }
    int margin() const { return m_owner->m_rulers ? kRuler : 0; }
    QSize pageSize() const
    {
        if (m_owner->PageCount() == 0)
            return {0, 0};
        const TStreamPage &p = m_owner->m_pages.pages[size_t(m_owner->m_page - 1)];
        return {int(std::ceil(p.width * scale())), int(std::ceil(p.height * scale()))};
    }
    QSize sizeHint() const override { return pageSize() + QSize(margin() + 8, margin() + 8); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Dark));
        if (m_owner->PageCount() == 0)
            return;
        const int m = margin();
        painter.translate(m + 4, m + 4);
        m_owner->m_painter.paint(painter, m_owner->m_pages, m_owner->m_page - 1, scale());
        painter.resetTransform();
        if (m)
            paintRulers(painter, m);
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton)
            m_owner->SetPage(m_owner->m_page - 1);
        else if (event->button() == Qt::RightButton)
            m_owner->SetPage(m_owner->m_page + 1);
    }

private:
    void paintRulers(QPainter &painter, int m)
    {
        const QSize page = pageSize();
        const double pxPerCm = scale() * 72.0 / 2.54;
        painter.fillRect(QRect(0, 0, width(), m), Qt::white);
        painter.fillRect(QRect(0, 0, m, height()), Qt::white);
        painter.setPen(Qt::black);
        QFont f = painter.font();
        f.setPixelSize(9);
        painter.setFont(f);
        for (int cm = 0; cm * pxPerCm <= page.width(); ++cm) {
            const int x = m + 4 + int(cm * pxPerCm);
            painter.drawLine(x, m - 6, x, m);
            // A number that would run off the ruler's end is left out rather than cut.
            const QString label = QString::number(cm);
            if (cm > 0 && x + 2 + painter.fontMetrics().horizontalAdvance(label) <= width())
                painter.drawText(x + 2, m - 8, label);
        }
        for (int cm = 0; cm * pxPerCm <= page.height(); ++cm) {
            const int y = m + 4 + int(cm * pxPerCm);
            painter.drawLine(m - 6, y, m, y);
            if (cm > 0)
                painter.drawText(2, y + 10, QString::number(cm));
        }
    }
    Tfrextprev *m_owner;
};

TPageStream GeneratePages(const QByteArray &projectStream, const QString &reportName, const TReportViews &views,
                          bool showProgress, bool forPdf, int orientation)
{
    WaitScope wait;
    Tfprogress *progress = nullptr;
    if (showProgress)
        progress = ProgressShow(CommonText(forPdf ? 114 : 118), CommonText(forPdf ? 115 : 119), 0);
    try {
        TPageStream pages = RunWithStatus(projectStream, reportName, views, progress, orientation);
        ProgressClose(progress);
        return pages;
    } catch (...) {
        ProgressClose(progress);
        throw;
    }
}

bool ShowPreview(const QByteArray &projectStream, const QString &reportName, const TReportViews &views, bool showProgress)
{
    Tfrextprev preview(QApplication::activeWindow());
    preview.SetReport(projectStream, reportName, views);
    preview.SetPages(GeneratePages(projectStream, reportName, views, showProgress, false));
    preview.exec();
    return true;
}

bool ExportPdf(const QByteArray &projectStream, const QString &reportName, const TReportViews &views,
               const QString &fileName, bool offerOpen, bool showProgress)
{
    QString target = fileName;
    if (target.isEmpty() && !ChoosePdfFile(target))
        return false;
    {
        // One progress window from the first page to the finished file.
        WaitScope wait;
        Tfprogress *progress = showProgress ? ProgressShow(CommonText(114), CommonText(115), 0) : nullptr;
        try {
            const TPageStream pages = RunWithStatus(projectStream, reportName, views, progress, -1);
            if (progress)
                ProgressMessage(progress, CommonText(116));
            WritePdfFile(pages, target);
        } catch (...) {
            ProgressClose(progress);
            throw;
        }
        ProgressClose(progress);
    }
    if (offerOpen)
        OfferToOpen(target);
    return true;
}

Tfrextprev::Tfrextprev(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(CommonText(91));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
    auto button = [this](const QString &text, int hint) {
        auto *b = new QToolButton(this);
        b->setText(text);
        if (hint)
            b->setToolTip(CommonText(hint));
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(true);
        return b;
    };
    btnfirst = button(QStringLiteral("|<"), 92);
    btnprev = button(QStringLiteral("<"), 93);
    btnnext = button(QStringLiteral(">"), 94);
    btnlast = button(QStringLiteral(">|"), 95);
    btngoto = button(QString(), 96);
    btnzoomout = button(QStringLiteral("-"), 97);
    btnzoom = button(QString(), 98);
    btnzoomin = button(QStringLiteral("+"), 99);
    btnrulers = button(QStringLiteral("cm"), 100);
    btnrulers->setCheckable(true);
    btnrulers->setChecked(m_rulers);
    btnsetup = button(QStringLiteral("…"), 101);
    btnprint = button(CommonText(103), 102);
    btnpdf = button(QStringLiteral("PDF"), 104);
    btnclose = button(CommonText(15), 13);

    pmzoom = new QMenu(this);
    for (int percent : {200, 150, 100, 75, 50, 25}) {
        QAction *a = pmzoom->addAction(QStringLiteral("%1 %").arg(percent));
        a->setData(percent);
        connect(a, &QAction::triggered, this, [this, percent] { SetZoom(percent); });
    }
    pmzoom->addSeparator();
    connect(pmzoom->addAction(CommonText(105)), &QAction::triggered, this, &Tfrextprev::FitZoom);
    connect(pmzoom->addAction(CommonText(106)), &QAction::triggered, this, &Tfrextprev::CustomZoomClick);

    auto *bar = new QHBoxLayout;
    for (QToolButton *b : {btnfirst, btnprev, btnnext, btnlast, btngoto, btnzoomout, btnzoom, btnzoomin, btnrulers,
                           btnsetup, btnprint, btnpdf})
        bar->addWidget(b);
    bar->addStretch();
    bar->addWidget(btnclose);

    m_view = new TPreviewPageWidget(this);
    scroll = new QScrollArea(this);
    scroll->setWidget(m_view);
    scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll->setFocusPolicy(Qt::NoFocus);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(scroll, 1);
    resize(900, 700);

    connect(btnfirst, &QToolButton::clicked, this, [this] { SetPage(1); });
    connect(btnprev, &QToolButton::clicked, this, [this] { SetPage(m_page - 1); });
    connect(btnnext, &QToolButton::clicked, this, [this] { SetPage(m_page + 1); });
    connect(btnlast, &QToolButton::clicked, this, [this] { SetPage(PageCount()); });
    connect(btngoto, &QToolButton::clicked, this, &Tfrextprev::GoToPageClick);
    connect(btnzoomout, &QToolButton::clicked, this, [this] { SetZoom(ZoomOutFrom(m_zoom)); });
    connect(btnzoomin, &QToolButton::clicked, this, [this] { SetZoom(ZoomInFrom(m_zoom)); });
    connect(btnzoom, &QToolButton::clicked, this, [this] { pmzoom->popup(btnzoom->mapToGlobal(QPoint(0, btnzoom->height()))); });
    connect(btnrulers, &QToolButton::toggled, this, &Tfrextprev::SetRulers);
    connect(btnsetup, &QToolButton::clicked, this, &Tfrextprev::PrinterSetupClick);
    connect(btnprint, &QToolButton::clicked, this, &Tfrextprev::PrintClick);
    connect(btnpdf, &QToolButton::clicked, this, &Tfrextprev::PdfClick);
    connect(btnclose, &QToolButton::clicked, this, &QDialog::reject);
    PageChanged();
    ZoomChanged();
}

Tfrextprev::~Tfrextprev() = default;

void Tfrextprev::SetReport(const QByteArray &projectStream, const QString &reportName, const TReportViews &views)
{
    m_project = projectStream;
    m_reportName = reportName;
    m_views = views;
}

void Tfrextprev::SetPages(TPageStream pages)
{
    m_pages = std::move(pages);
    setWindowTitle(DelphiFormat(CommonText(117), {m_pages.title}));
    m_page = qBound(1, m_page, qMax(1, PageCount()));
    PageChanged();
    ZoomChanged();
}

void Tfrextprev::SetPage(int page)
{
    const int kept = qBound(1, page, qMax(1, PageCount()));
    if (kept == m_page)
        return;
    m_page = kept;
    PageChanged();
}

void Tfrextprev::PageChanged()
{
    btnfirst->setEnabled(m_page > 1);
    btnprev->setEnabled(m_page > 1);
    btnnext->setEnabled(m_page < PageCount());
    btnlast->setEnabled(m_page < PageCount());
    btngoto->setText(DelphiFormat(CommonText(121), {QString::number(m_page), QString::number(PageCount())}));
    m_view->resize(m_view->sizeHint());
    m_view->update();
}

double Tfrextprev::ZoomInFrom(double percent) { return qMin(200.0, double((int(std::floor(percent)) / 25 + 1) * 25)); }

double Tfrextprev::ZoomOutFrom(double percent) { return qMax(10.0, double((qRound(percent - 1) / 25) * 25)); }

void Tfrextprev::SetZoom(double percent)
{
    m_fit = false;
    m_zoom = qBound(10.0, percent, 200.0);
    ZoomChanged();
}

void Tfrextprev::FitZoom()
{
    if (PageCount() == 0)
        return;
    const TStreamPage &p = m_pages.pages[size_t(m_page - 1)];
    const QSize area = scroll->viewport()->size() - QSize(m_view->margin() + 12, m_view->margin() + 12);
    const double perPercent = m_view->logicalDpiX() / 72.0 / 100.0;
    const double fit = qMin(area.width() / (p.width * perPercent), area.height() / (p.height * perPercent));
    SetZoom(fit);
    m_fit = true;
}

void Tfrextprev::ZoomChanged()
{
    btnzoomout->setEnabled(m_zoom > 10);
    btnzoomin->setEnabled(m_zoom < 200);
    btnzoom->setText(DelphiFormat(CommonText(122), {QString::number(qRound(m_zoom))}));
    m_view->resize(m_view->sizeHint());
    m_view->update();
}

void Tfrextprev::SetRulers(bool on)
{
    m_rulers = on;
    if (btnrulers->isChecked() != on)
        btnrulers->setChecked(on);
    ZoomChanged();
}

void Tfrextprev::GoToPageClick()
{
    QString value = QString::number(m_page);
    if (!InputText(CommonText(123), DelphiFormat(CommonText(124), {QStringLiteral("1"), QString::number(PageCount())}), value))
        return;
    bool ok = false;
    const int page = value.trimmed().toInt(&ok);
    if (ok && page >= 0 && page != m_page)
        SetPage(page);
}

void Tfrextprev::CustomZoomClick()
{
    QString value = QString::number(qRound(m_zoom));
    if (!InputText(CommonText(125), CommonText(126), value))
        return;
    bool ok = false;
    const int zoom = value.trimmed().toInt(&ok);
    if (ok && zoom >= 10 && zoom <= 200 && zoom != qRound(m_zoom))
        SetZoom(zoom);
}

QPrinter *Tfrextprev::Printer()
{
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setDocName(m_pages.title);
    }
    return m_printer.get();
}

void Tfrextprev::PrinterSetupClick()
{
    QPageSetupDialog setup(Printer(), this);
    if (setup.exec() != QDialog::Accepted || m_project.isEmpty())
        return;
    // Only a report left to the printer's orientation turns with the set-up; the others keep their own.
    const TReportProject project = LoadReportProject(m_project);
    const TReport *report = project.findReport(m_reportName);
    const bool turns = report && report->page.orientation == 2;
    const int orientation = !turns ? -1 : Printer()->pageLayout().orientation() == QPageLayout::Landscape ? 1 : 0;
    SetPages(GeneratePages(m_project, m_reportName, m_views, true, false, orientation));
}

void Tfrextprev::PrintClick()
{
    const QPrinterInfo info = Printer()->printerName().isEmpty() ? QPrinterInfo::defaultPrinter()
                                                                 : QPrinterInfo::printerInfo(Printer()->printerName());
    if (info.isNull())
        return;
    if (!m_printDialog) {
        m_printDialog = new Tfrextprd(this);
        m_printDialog->Setup(PageCount());
    }
    m_printDialog->SetPrinter(info.printerName(), info.location());
    if (m_printDialog->exec() != QDialog::Accepted)
        return;
    WaitScope wait;
    Printer()->setPrinterName(info.printerName());
    PrintPageStream(m_pages, *Printer(), m_printDialog->Pages(PageCount()), m_printDialog->Copies());
}

void Tfrextprev::PdfClick()
{
    QString target;
    if (ChoosePdfFile(target))
        ExportShownPages(target, true);
}

void Tfrextprev::ExportShownPages(const QString &fileName, bool offerOpen)
{
    {
        WaitScope wait;
        Tfprogress *progress = ProgressShow(CommonText(114), CommonText(115), 0, this);
        try {
            WritePdfFile(m_pages, fileName);
        } catch (...) {
            ProgressClose(progress);
            throw;
        }
        ProgressClose(progress);
    }
    if (offerOpen)
        OfferToOpen(fileName);
}

void Tfrextprev::ScrollPage(int direction, bool byWindow)
{
    QScrollBar *bar = scroll->verticalScrollBar();
    const int step = byWindow ? bar->pageStep() : bar->singleStep();
    if (direction > 0) {
        if (bar->value() >= bar->maximum()) {
            if (m_page < PageCount()) {
                SetPage(m_page + 1);
                bar->setValue(bar->minimum());
            }
        } else {
            bar->setValue(bar->value() + step);
        }
    } else {
        if (bar->value() <= bar->minimum()) {
            if (m_page > 1) {
                SetPage(m_page - 1);
                bar->setValue(bar->maximum());
            }
        } else {
            bar->setValue(bar->value() - step);
        }
    }
}

void Tfrextprev::keyPressEvent(QKeyEvent *event)
{
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    const int key = event->key();
    if (mods == Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_Home: SetPage(1); return;
        case Qt::Key_End: SetPage(PageCount()); return;
        case Qt::Key_PageUp: SetPage(m_page - 1); return;
        case Qt::Key_PageDown: SetPage(m_page + 1); return;
        case Qt::Key_Left: scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->value() - scroll->horizontalScrollBar()->singleStep()); return;
        case Qt::Key_Right: scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->value() + scroll->horizontalScrollBar()->singleStep()); return;
        default: break;
        }
    } else if (mods == Qt::NoModifier) {
        switch (key) {
        case Qt::Key_Home: scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->minimum()); return;
        case Qt::Key_End: scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum()); return;
        case Qt::Key_PageUp: ScrollPage(-1, true); return;
        case Qt::Key_PageDown: ScrollPage(1, true); return;
        case Qt::Key_Up: ScrollPage(-1, false); return;
        case Qt::Key_Down: ScrollPage(1, false); return;
        case Qt::Key_F3: GoToPageClick(); return;
        case Qt::Key_F6: SetRulers(!m_rulers); return;
        case Qt::Key_F7: PrinterSetupClick(); return;
        case Qt::Key_F8: PrintClick(); return;
        case Qt::Key_F9: PdfClick(); return;
        case Qt::Key_Escape: reject(); return;
        case Qt::Key_Return:
        case Qt::Key_Enter: FitZoom(); return;
        case Qt::Key_Minus:
            if (keypad) { SetZoom(ZoomOutFrom(m_zoom)); return; }
            break;
        case Qt::Key_Plus:
            if (keypad) { SetZoom(ZoomInFrom(m_zoom)); return; }
            break;
        default: break;
        }
    }
    QDialog::keyPressEvent(event);
}

void Tfrextprev::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_maximisedOnce) {
        m_maximisedOnce = true;
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}
