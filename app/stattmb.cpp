#include "stattmb.h"

#include "windowfont.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <vector>

#include "dbfrg.h"
#include "dtpicker.h"
#include "formatsettings.h"
#include "myutils.h"

namespace {

struct DesignedColumn {
    const char *field;
    const char *title;
    int width;
};

TColumns DesignedColumns(std::initializer_list<DesignedColumn> designed)
{
    TColumns columns;
    for (const DesignedColumn &d : designed) {
        TColumn column;
        column.FieldName = QString::fromUtf8(d.field);
        column.Title.Caption = QString::fromUtf8(d.title);
        column.Width = d.width;
        columns.push_back(column);
    }
    return columns;
}

constexpr int kOutgoing = 2;
constexpr int kIncoming = 3;
constexpr int kLabelSeparation = 5;
constexpr int kFrameHeight = 170;

// The label of a point that ends its bucket at this day and hour.
QString BucketLabel(qint64 day, int hour, int step)
{
    if (hour >= step)
        return QString::number(hour) + QLatin1Char('h');
    const QDate date = DoubleToDateTime(double(day)).date();
    return QString::number(date.day()) + QLatin1Char('.') + QString::number(date.month());
}

// A bucket boundary as the table reads it back from the text of the chart's expression.
double ReadBack(double value)
{
    double read = value;
    return ParseDateTimeText(FormatDateTimeText(value), read) ? read : value;
}

// A step of 1, 2 or 5 times a power of ten that gives at most about eight intervals.
int NiceStep(int maximum)
{
    int step = 1;
    for (int power = 1;; power *= 10) {
        for (int factor : {1, 2, 5}) {
            step = factor * power;
            if (maximum / step <= 8)
                return step;
        }
    }
}

} // namespace

QString Tfstattmb::ChartTitle() { return QStringLiteral("Počet hovorů za období"); }

Tfstattmb::Tfstattmb(Tdmcd *dmcd, QWidget *parent) : QDialog(parent), m_dmcd(dmcd)
{
    setObjectName(QStringLiteral("fstattmb"));
    setWindowTitle(QStringLiteral("Statistiky hovorů"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setModal(true);

    // The list, with the date choice over the left part of its button row.
    frg_stat = new Tfrg(this);
    frg_stat->setObjectName(QStringLiteral("frg_stat"));
    frg_stat->setFixedHeight(kFrameHeight);
    frg_stat->nv->hide();
    frg_stat->spbfind->hide();
    frg_stat->spbfilter->setText(QStringLiteral("Vý&počet"));
    frg_stat->spbfilter->show();
    frg_stat->spboutput->setVisible(Tfrg::HasOutputFactory());

    Panel6 = new QWidget(frg_stat->pan);
    Label1 = new QLabel(QStringLiteral("Datum hovorů od:"), Panel6);
    dtp_statfrom = new TDateTimePicker(Panel6);
    Label2 = new QLabel(QStringLiteral("Do:"), Panel6);
    dtp_statto = new TDateTimePicker(Panel6);
    Label1->setBuddy(dtp_statfrom);
    Label2->setBuddy(dtp_statto);
    auto *dates = new QHBoxLayout(Panel6);
    dates->setContentsMargins(2, 0, 8, 0);
    dates->addWidget(Label1);
    dates->addWidget(dtp_statfrom);
    dates->addSpacing(6);
    dates->addWidget(Label2);
    dates->addWidget(dtp_statto);
    if (auto *row = qobject_cast<QHBoxLayout *>(frg_stat->pan->layout()))
        row->insertWidget(0, Panel6);

    TDBGridEx *grid = frg_stat->gr;
    grid->SetHotTrackTitles(false);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setShowGrid(true);
    grid->setTabKeyNavigation(true);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->SetColumns(DesignedColumns({{"CALLTYPENAME", "Typ hovoru", 114},
                                      {"C1", "Počet hovorů", 83},
                                      {"C2", "Celková délka", 81},
                                      {"C3", "Nejdelší hovor", 91},
                                      {"C4", "Nejkratší hovor", 87},
                                      {"C5", "Průměrná délka", 93}}));
    grid->SetDataModel(m_dmcd->ds_stat);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed); // no column resizing

    // The chart.
    Panel1 = new QWidget(this);
    Chart = new QChart;
    Chart->setAnimationOptions(QChart::NoAnimation);
    Chart->setBackgroundRoundness(0);
    Chart->setPlotAreaBackgroundBrush(Qt::white);
    Chart->setPlotAreaBackgroundVisible(true);
    Chart->legend()->setAlignment(Qt::AlignTop);
    Chart->legend()->setVisible(true);

    Series1 = new QLineSeries;
    Series1->setName(QStringLiteral("Odchozí hovory      "));
    Series1->setPen(QPen(QColor(Qt::red), 2));
    Series2 = new QLineSeries;
    Series2->setName(QStringLiteral("Příchozí hovory"));
    Series2->setPen(QPen(QColor(Qt::green), 2));
    for (QLineSeries *series : {Series1, Series2}) {
        series->setPointsVisible(false);
        Chart->addSeries(series);
    }

    BottomAxis = new QCategoryAxis;
    BottomAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    BottomAxis->setGridLineVisible(false);
    BottomAxis->setMinorTickCount(0);
    LeftAxis = new QValueAxis;
    LeftAxis->setLabelFormat(QStringLiteral("%d"));
    LeftAxis->setGridLinePen(QPen(QColor(Qt::gray), 1, Qt::DotLine));
    LeftAxis->setMinorTickCount(2);
    LeftAxis->setMinorGridLineVisible(false);
    Chart->addAxis(BottomAxis, Qt::AlignBottom);
    Chart->addAxis(LeftAxis, Qt::AlignLeft);
    for (QLineSeries *series : {Series1, Series2}) {
        series->attachAxis(BottomAxis);
        series->attachAxis(LeftAxis);
    }

    Chart1 = new QChartView(Chart, Panel1);
    Chart1->setRenderHint(QPainter::Antialiasing);
    Chart1->setRubberBand(QChartView::NoRubberBand);
    Label3 = new QLabel(QStringLiteral("Graf počtu hovorů v čase:"), Chart1);
    QFont bold = Label3->font();
    bold.setBold(true);
    Label3->setFont(bold);
    Label3->setAttribute(Qt::WA_TranslucentBackground);
    Label3->adjustSize();
    Label3->move(10, 18);
    auto *chartLayout = new QVBoxLayout(Panel1);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    chartLayout->addWidget(Chart1);

    // Calls per number with the caller's name, beside the chart.
    frg_statnum = new Tfrg(this);
    frg_statnum->setObjectName(QStringLiteral("frg_statnum"));
    frg_statnum->nv->hide();
    frg_statnum->spbfind->hide();
    frg_statnum->spboutput->setVisible(Tfrg::HasOutputFactory());
    TDBGridEx *numberGrid = frg_statnum->gr;
    numberGrid->SetHotTrackTitles(false);
    numberGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    numberGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    numberGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    numberGrid->SetColumns(DesignedColumns({{"PHONENUMBER", "Telefonní číslo", 110},
                                            {"PHONENAME", "Jméno", 190},
                                            {"C1", "Počet hovorů", 83},
                                            {"C2", "Celková délka", 81},
                                            {"C3", "Nejdelší hovor", 91},
                                            {"C5", "Průměrná délka", 93}}));
    numberGrid->SetDataModel(m_dmcd->ds_statnum);

    pc_stat = new QTabWidget(this);
    pc_stat->setDocumentMode(true);
    pc_stat->addTab(Panel1, QStringLiteral("&Graf"));
    pc_stat->addTab(frg_statnum, QStringLiteral("Podle čís&el"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(frg_stat);
    layout->addWidget(pc_stat, 1);
    setFixedSize(720, 447);

    connect(frg_stat->spbfilter, &QPushButton::clicked, this, [this] {
        try {
            frg_statspbfilterClick();
        } catch (const Exception &e) {
            ShowMessageBox(e.message(), mkError, mbOK);
        }
    });
    connect(Chart, &QChart::plotAreaChanged, this, [this] { updateAxisLabels(); });
    // The form sees every key first: Esc closes it from any control.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QDialog::reject);

    updateAxes();
}

void Tfstattmb::SetDates(TDateChoice from, TDateChoice to)
{
    dtp_statfrom->SetDate(from.date);
    dtp_statfrom->SetChecked(from.checked);
    dtp_statto->SetDate(to.date);
    dtp_statto->SetChecked(to.checked);
}

void Tfstattmb::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void Tfstattmb::FormShow()
{
    QTimer::singleShot(0, this, [this] {
        if (QWidget *focused = focusWidget())
            focused->clearFocus();
    });
    try {
        frg_statspbfilterClick();
    } catch (const Exception &e) {
        ShowMessageBox(e.message(), mkError, mbOK);
    }
}

void Tfstattmb::frg_statspbfilterClick()
{
    const TDateChoice from = dtp_statfrom->Choice();
    const TDateChoice to = dtp_statto->Choice();
    frg_stat->spbfilter->setToolTip(DateRangeText(Label1->text(), from.date, from.checked, to.date, to.checked));

    TMemTable *work = m_dmcd->cd_tmp;
    if (work->active())
        work->setFiltered(false);
    work->copyFrom(*m_dmcd->tb_audio);
    m_dmcd->ComputeStatistics(from, to);
    m_dmcd->ComputeNumberStatistics();
    frg_statnum->spbfilter->setToolTip(frg_stat->spbfilter->toolTip());

    Series1->clear();
    Series2->clear();
    m_labels.clear();
    if (m_dmcd->tb_audio->recordCount() >= 1)
        drawChart(from, to);
    updateAxes();
}

void Tfstattmb::drawChart(TDateChoice from, TDateChoice to)
{
    TMemTable *work = m_dmcd->cd_tmp;
    work->setIndexFieldNames(QStringLiteral("WHENSTART"));
    const TField &whenStart = work->fieldByName(QStringLiteral("WHENSTART"));

    // A side without a date comes from the calls; with no call in the chosen dates there
    // is nothing to draw (rather than a chart that starts at day 0).
    if ((!from.checked || !to.checked) && work->isEmpty()) {
        work->close();
        return;
    }
    double start;
    if (from.checked) {
        start = std::floor(from.date);
    } else {
        work->first();
        start = std::floor(whenStart.asDateTime());
    }
    double end;
    if (to.checked) {
        end = std::floor(to.date) + 1;
    } else {
        work->last();
        end = std::floor(whenStart.asDateTime()) + 1;
    }

    // Whole hours from day boundaries: no rounding error piles up over the buckets.
    const qint64 endHours = qint64(std::llround(end * 24));
    const qint64 days = (endHours - qint64(std::llround(start * 24))) / 24;
    const int step = days <= 12 ? int(qMax<qint64>(days, 1)) : 24;
    m_chartStart = start;
    std::vector<double> bounds{ReadBack(start)};
    QList<QPointF> outgoing, incoming;
    qint64 day = qint64(start);
    int hour = 0;
    while (day * 24 + hour < endHours) {
        qint64 nextDay = day;
        int nextHour = hour + step;
        if (nextHour >= 24) { // a bucket never crosses midnight
            nextDay = day + 1;
            nextHour = 0;
        }
        const double bucketEnd = double(nextDay) + nextHour / 24.0;
        bounds.push_back(ReadBack(bucketEnd));
        outgoing.append(QPointF(bucketEnd, 0));
        incoming.append(QPointF(bucketEnd, 0));
        m_labels.append(BucketLabel(nextDay, nextHour, step));
        day = nextDay;
        hour = nextHour;
    }

    // One walk over the rows counts every bucket at once, comparing as the chart's
    // expression CALLTYPE=c AND WHENSTART>='start' AND WHENSTART<'end' does.
    const int typeField = work->fieldByName(QStringLiteral("CALLTYPE")).index();
    const int startField = whenStart.index();
    for (int record = 0; record < work->physicalCount(); ++record) {
        if (work->cellNull(typeField, record) || work->cellNull(startField, record))
            continue;
        const qint64 type = work->cellInt(typeField, record);
        if (type != kOutgoing && type != kIncoming)
            continue;
        const auto above = std::upper_bound(bounds.begin(), bounds.end(), work->cellFloat(startField, record));
        if (above == bounds.begin() || above == bounds.end())
            continue;
        QPointF &point = (type == kOutgoing ? outgoing : incoming)[above - bounds.begin() - 1];
        point.setY(point.y() + 1);
    }
    Series1->replace(outgoing);
    Series2->replace(incoming);
    work->close();
}

void Tfstattmb::updateAxes()
{
    int maximum = 0;
    for (QLineSeries *series : {Series1, Series2})
        for (const QPointF &p : series->points())
            maximum = qMax(maximum, int(p.y()));
    const int step = NiceStep(qMax(maximum, 1));
    LeftAxis->setTickType(QValueAxis::TicksDynamic);
    LeftAxis->setTickAnchor(0);
    LeftAxis->setTickInterval(step);
    LeftAxis->setRange(0, qMax(step, (maximum + step - 1) / step * step));

    const QList<QPointF> points = Series1->points();
    if (points.isEmpty()) {
        BottomAxis->setRange(0, 1);
    } else {
        BottomAxis->setRange(m_chartStart, points.last().x());
    }
    m_labelEvery = 0;
    updateAxisLabels();
}

void Tfstattmb::updateAxisLabels()
{
    if (m_labelling)
        return;
    const QList<QPointF> points = Series1->points();
    // As many labels as fit side by side with their separation.
    const QFontMetrics metrics(BottomAxis->labelsFont());
    int widest = 0;
    for (const QString &label : m_labels)
        widest = qMax(widest, metrics.horizontalAdvance(label));
    const double width = qMax(1.0, Chart->plotArea().width());
    const double perPoint = width / points.size();
    const int every = qMax(1, int(std::ceil((widest + kLabelSeparation) / qMax(perPoint, 1e-6))));
    if (every == m_labelEvery)
        return;
    m_labelling = true;
    m_labelEvery = every;
    for (const QString &label : BottomAxis->categoriesLabels())
        BottomAxis->remove(label);
    // Counted back from the last point, so that the end of the period is always labelled.
    for (int i = int((points.size() - 1) % every); i < points.size(); i += every) {
        // Category labels must be unique; repeated hour labels get invisible marks.
        QString label = m_labels.value(i);
        while (BottomAxis->categoriesLabels().contains(label))
            label += QChar(0x200B);
        BottomAxis->append(label, points[i].x());
    }
    BottomAxis->setStartValue(BottomAxis->min());
    m_labelling = false;
}
