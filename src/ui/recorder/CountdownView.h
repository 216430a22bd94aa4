#pragma once

#include <QRect>
#include <QWidget>

namespace mirelo {

// The large number counting down to the first frame, shown in the middle of
// the recording frame: a window of its own, above the recorder window, that
// takes no input and no focus. Its shape is the dark disc behind the number,
// so that it needs no compositing manager to show what lies around it.
class CountdownView : public QWidget {
    Q_OBJECT

public:
    explicit CountdownView(QWidget* parent = nullptr);

    // Shows `seconds` centred over `area` (global coordinates).
    void showNumber(int seconds, const QRect& area);
    int number() const { return m_number; }

    // The side of the disc for a frame of `area`: large, yet inside it.
    static int discSide(const QSize& area);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_number = 0;
};

}  // namespace mirelo
