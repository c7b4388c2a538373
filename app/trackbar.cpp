#include "trackbar.h"

#include <QStyleOptionSlider>
#include <QStylePainter>

TTrackBar::TTrackBar(QWidget *parent) : QSlider(Qt::Horizontal, parent)
{
    setTickPosition(QSlider::NoTicks);
    setMinimumHeight(m_thumbLength + 8);
}

void TTrackBar::SetSelEnd(int value)
{
    value = qBound(minimum(), value, maximum());
    if (value == m_selEnd)
        return;
    m_selEnd = value;
    update();
}

void TTrackBar::SetThumbLength(int length)
{
    m_thumbLength = qMax(4, length);
    setMinimumHeight(m_thumbLength + 8);
    update();
}

void TTrackBar::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);

    // The groove is drawn empty: some styles fill it up to the thumb, which would read
    // as a level here, where only the selection shows one.
    QStyleOptionSlider groovePass = option;
    groovePass.subControls = QStyle::SC_SliderGroove;
    groovePass.sliderPosition = groovePass.sliderValue = minimum();
    painter.drawComplexControl(QStyle::CC_Slider, groovePass);

    // The selection lies inside the groove, from the minimum to SelEnd.
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (m_selEnd > minimum() && isEnabled()) {
        const int span = groove.width() - handle.width();
        const int end = QStyle::sliderPositionFromValue(minimum(), maximum(), m_selEnd, span, option.upsideDown);
        const int x0 = groove.left() + handle.width() / 2;
        const int h = qMax(3, groove.height() - 2);
        const QRect selection(x0, groove.center().y() - h / 2, end, h);
        painter.fillRect(selection, palette().color(QPalette::Highlight));
    }

    option.subControls = QStyle::SC_SliderHandle;
    painter.drawComplexControl(QStyle::CC_Slider, option);
}
