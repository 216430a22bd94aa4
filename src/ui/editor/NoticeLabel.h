#pragma once

#include <QLabel>

namespace mirelo {

// A one-line note that takes whatever room its row leaves it: text that does
// not fit is cut short with "…" (the whole of it in the tooltip), and the
// label is as tall with a note as without, so a note never moves or pushes
// another control.
class NoticeLabel : public QLabel {
    Q_OBJECT

public:
    explicit NoticeLabel(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace mirelo
