#include "ui/editor/ResizeSheet.h"
#include "ui/editor/EditorTexts.h"

#include "editor/EditorState.h"
#include "ui/Theme.h"
#include "ui/editor/NumberParsing.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <cmath>

namespace mirelo {

namespace {

QString whole(long long value) {
    return QString::number(value);
}

}  // namespace

ResizeSheet::ResizeSheet(EditorState* state, QWidget* parent) : QDialog(parent), m_state(state) {
    setWindowTitle(tr("调整画面尺寸"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(320);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Theme::paper());
    pal.setColor(QPalette::Highlight, Theme::accent());
    setPalette(pal);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);

    auto* title = new QLabel(tr("调整画面尺寸"), this);
    QFont headline = title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.1);
    title->setFont(headline);
    column->addWidget(title);

    auto* sizeRow = new QHBoxLayout;
    sizeRow->setSpacing(8);
    m_width = new QLineEdit(this);
    m_width->setPlaceholderText(tr("宽"));
    m_width->setFixedWidth(90);
    m_height = new QLineEdit(this);
    m_height->setPlaceholderText(tr("高"));
    m_height->setFixedWidth(90);
    sizeRow->addWidget(m_width);
    sizeRow->addWidget(new QLabel(tr("×"), this));
    sizeRow->addWidget(m_height);
    sizeRow->addWidget(new QLabel(tr("像素"), this));
    sizeRow->addStretch(1);
    column->addLayout(sizeRow);

    m_keepAspect = new QCheckBox(tr("锁定宽高比"), this);
    m_keepAspect->setChecked(true);
    column->addWidget(m_keepAspect);

    auto* presetRow = new QHBoxLayout;
    presetRow->setSpacing(8);
    const double factors[3] = {0.5, 0.75, 1.0};
    for (int i = 0; i < 3; ++i) {
        const double factor = factors[i];
        m_percent[i] =
            new QPushButton(QStringLiteral("%1%").arg(static_cast<int>(factor * 100)), this);
        m_percent[i]->setAutoDefault(false);
        // Presets leave the focus where it is, so the focused field keeps
        // driving the other one.
        m_percent[i]->setFocusPolicy(Qt::NoFocus);
        connect(m_percent[i], &QPushButton::clicked, this, [this, factor] { applyFactor(factor); });
        presetRow->addWidget(m_percent[i]);
    }
    presetRow->addStretch(1);
    column->addLayout(presetRow);

    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    QPalette warning = m_message->palette();
    warning.setColor(QPalette::WindowText, QColor(0xc0, 0x39, 0x2b));
    m_message->setPalette(warning);
    m_message->hide();
    column->addWidget(m_message);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    m_cancel = new QPushButton(tr("取消"), this);
    m_cancel->setAutoDefault(false);
    m_apply = new QPushButton(tr("应用"), this);
    m_apply->setDefault(true);
    buttonRow->addWidget(m_cancel);
    buttonRow->addWidget(m_apply);
    column->addLayout(buttonRow);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_apply, &QPushButton::clicked, this, &ResizeSheet::applyAndClose);
    auto* applyShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this);
    connect(applyShortcut, &QShortcut::activated, this, &ResizeSheet::applyAndClose);

    // The texts start at the frame size, fractions dropped.
    const QSizeF size = state->imageSize();
    m_width->setText(whole(static_cast<long long>(size.width())));
    m_height->setText(whole(static_cast<long long>(size.height())));

    connect(m_width, &QLineEdit::textChanged, this, &ResizeSheet::widthEdited);
    connect(m_height, &QLineEdit::textChanged, this, &ResizeSheet::heightEdited);
    m_width->installEventFilter(this);
    m_height->installEventFilter(this);
}

bool ResizeSheet::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        m_focused = watched == m_width ? Field::Width : Field::Height;
    } else if (event->type() == QEvent::FocusOut) {
        if ((watched == m_width && m_focused == Field::Width) ||
            (watched == m_height && m_focused == Field::Height)) {
            m_focused = Field::None;
        }
    }
    return QDialog::eventFilter(watched, event);
}

double ResizeSheet::ratio() const {
    const QSizeF size = m_state->imageSize();
    return size.width() > 0 ? size.height() / size.width() : 1.0;
}

void ResizeSheet::widthEdited() {
    if (!m_keepAspect->isChecked() || m_focused != Field::Width) {
        return;
    }
    if (const std::optional<double> w = parseNumber(m_width->text())) {
        if (const std::optional<long long> h = roundToWhole(*w * ratio())) {
            m_height->setText(whole(*h));
        }
    }
}

void ResizeSheet::heightEdited() {
    if (!m_keepAspect->isChecked() || m_focused != Field::Height) {
        return;
    }
    const double r = ratio();
    if (!(r > 0)) {
        return;
    }
    if (const std::optional<double> h = parseNumber(m_height->text())) {
        if (const std::optional<long long> w = roundToWhole(*h / r)) {
            m_width->setText(whole(*w));
        }
    }
}

void ResizeSheet::applyFactor(double factor) {
    const QSizeF size = m_state->imageSize();
    const std::optional<long long> w = roundToWhole(factor * size.width());
    const std::optional<long long> h = roundToWhole(factor * size.height());
    m_width->setText(whole(w.value_or(0)));
    m_height->setText(whole(h.value_or(0)));
}

void ResizeSheet::applyAndClose() {
    const std::optional<double> w = parseNumber(m_width->text());
    const std::optional<double> h = parseNumber(m_height->text());
    // An infinite size would ask for unbounded memory: treat it as invalid.
    if (w && h && std::isfinite(*w) && std::isfinite(*h) && *w >= kMinimumSide &&
        *h >= kMinimumSide) {
        // A size the frames would not fit in memory at is refused here, with
        // the reason, and the sheet stays open for a smaller one.
        if (const auto shortage = m_state->resizeRefusal(QSizeF(*w, *h))) {
            m_message->setText(editortexts::describe(*shortage));
            m_message->show();
            return;
        }
        emit resizeRequested(QSizeF(*w, *h));
    }
    accept();
}

}  // namespace mirelo
