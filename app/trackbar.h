#pragma once
// A horizontal track bar whose groove also shows a selection from its minimum to a
// movable end: the settings dialog shows the silence threshold with the thumb and
// the live input peak with the selection.
#include <QSlider>

class TTrackBar : public QSlider {
public:
    explicit TTrackBar(QWidget *parent = nullptr);

    int SelEnd() const { return m_selEnd; }
    void SetSelEnd(int value);
    int ThumbLength() const { return m_thumbLength; }
    void SetThumbLength(int length);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_selEnd = 0;
    int m_thumbLength = 16;
};
