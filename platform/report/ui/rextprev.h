#pragma once
#include <QByteArray>
#include <QDialog>
#include <QHash>
#include <memory>

#include "pagepainter.h"
#include "pagestream.h"
#include "reportrunner.h"

class QMenu;
class QPrinter;
class QPushButton;
class QScrollArea;
class QToolButton;
class Tfrextprd;

// Loads the project, runs the named report into pages and names them after the
// report's full name; with progress, shows the progress window with the page
// being produced (PDF or preview captions). orientation -1 leaves it to the report.
TPageStream GeneratePages(const QByteArray &projectStream, const QString &reportName, const TReportViews &views,
                          bool showProgress, bool forPdf, int orientation = -1);

// The preview window, modal; true.
bool ShowPreview(const QByteArray &projectStream, const QString &reportName, const TReportViews &views, bool showProgress);
// The report as a PDF file (asked for when fileName is empty); false when the save dialog was cancelled.
bool ExportPdf(const QByteArray &projectStream, const QString &reportName, const TReportViews &views,
               const QString &fileName, bool offerOpen, bool showProgress);

class TPreviewPageWidget;

class Tfrextprev : public QDialog {
public:
    explicit Tfrextprev(QWidget *parent = nullptr);
    ~Tfrextprev() override;

    // The report the printer set-up regenerates; the pages shown.
    void SetReport(const QByteArray &projectStream, const QString &reportName, const TReportViews &views);
    void SetPages(TPageStream pages);
    const TPageStream &Pages() const { return m_pages; }

    int Page() const { return m_page; }
    int PageCount() const { return m_pages.pageCount(); }
    double Zoom() const { return m_zoom; }
    bool Rulers() const { return m_rulers; }
    void SetPage(int page); // kept within 1..page count
    void SetZoom(double percent); // kept within 10..200
    void FitZoom();
    void SetRulers(bool on);

    static double ZoomInFrom(double percent);
    static double ZoomOutFrom(double percent);

    // Commands.
    void GoToPageClick();
    void CustomZoomClick();
    void PrinterSetupClick();
    void PrintClick();
    void PdfClick();
    // Exports the pages shown to fileName; the question to open follows when offerOpen.
    void ExportShownPages(const QString &fileName, bool offerOpen);

    QToolButton *btnfirst, *btnprev, *btnnext, *btnlast, *btngoto, *btnzoomout, *btnzoom, *btnzoomin, *btnrulers,
        *btnsetup, *btnprint, *btnpdf, *btnclose;
    QMenu *pmzoom;
    QScrollArea *scroll;
    Tfrextprd *PrintDialog() const { return m_printDialog; }
    QPrinter *Printer();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    friend class TPreviewPageWidget;
    void PageChanged();
    void ZoomChanged();
    void ScrollPage(int direction, bool byWindow);

    TPageStream m_pages;
    TPagePainter m_painter;
    TPreviewPageWidget *m_view;
    int m_page = 1;
    double m_zoom = 100;
    bool m_fit = false;
    bool m_rulers = true;
    bool m_maximisedOnce = false;
    Tfrextprd *m_printDialog = nullptr;
    std::unique_ptr<QPrinter> m_printer;
    QByteArray m_project;
    QString m_reportName;
    TReportViews m_views;
};
