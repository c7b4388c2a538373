#pragma once
// The statistics window "Statistiky hovorů". The program creates it once with the
// call-data module and shows it with exec() from the "Statistiky" command; every showing
// recomputes the list (per call type: count, total, longest, shortest and average length)
// and the chart of outgoing and incoming calls over the chosen dates, from all calls of
// the log whatever the call list's filter. At start the main window gives it the filter
// dialog's dates with SetDates; the user's dates are kept between showings. The main
// window may attach its cell painter to frg_stat->gr before showing it.
#include <QDialog>
#include <QStringList>

#include "udmcd.h"

class QCategoryAxis;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QTabWidget;
class QValueAxis;
class Tfrg;
class TDateTimePicker;

class Tfstattmb : public QDialog {
public:
    explicit Tfstattmb(Tdmcd *dmcd, QWidget *parent = nullptr);

    Tfrg *frg_stat;
    QWidget *Panel6;
    QLabel *Label1;
    TDateTimePicker *dtp_statfrom;
    QLabel *Label2;
    TDateTimePicker *dtp_statto;
    QWidget *Panel1;
    QChartView *Chart1;
    QChart *Chart;
    QLabel *Label3;
    QLineSeries *Series1; // outgoing calls, red
    QLineSeries *Series2; // incoming calls, green
    // Below the list: the chart, and the calls per number with the caller's name.
    QTabWidget *pc_stat;
    Tfrg *frg_statnum;
    QCategoryAxis *BottomAxis;
    QValueAxis *LeftAxis;

    void SetDates(TDateChoice from, TDateChoice to);

    void FormShow();
    // Computes the list and draws the chart ("Vý&počet", F4 in the grid).
    void frg_statspbfilterClick();

    // The label of every point, in order; both series share them.
    const QStringList &PointLabels() const { return m_labels; }
    // The title the chart carries without showing it.
    static QString ChartTitle();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void drawChart(TDateChoice from, TDateChoice to);
    void updateAxes();
    void updateAxisLabels();

    Tdmcd *m_dmcd;
    QStringList m_labels;
    double m_chartStart = 0;
    int m_labelEvery = 0;
    bool m_labelling = false;
};
