#include "ui/editor/ExportAccessoryView.h"
#include "i18n/ModelTexts.h"

#include "export/ExportFormats.h"
#include "export/ExportModel.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace mirelo {

namespace {

void setTextColor(QLabel* label, const QColor& color) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
}

QFont digitsFont() {
    // A fixed-pitch face keeps the digits from jittering as values change.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSizeF());
    return font;
}

// The captions of the rows share one width: the widest caption's, at least 56.
QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    int width = 56;
    for (const QString& each : {ExportAccessoryView::tr("格式"), ExportAccessoryView::tr("品质"),
                                ExportAccessoryView::tr("预计大小")}) {
        width = std::max(width, label->fontMetrics().horizontalAdvance(each));
    }
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QSlider* slider(int minimum, int maximum, int value, QWidget* parent) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setRange(minimum, maximum);
    s->setValue(value);
    s->setTracking(true);  // reports while being dragged
    s->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return s;
}

QLabel* valueLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFixedWidth(40);
    label->setFont(digitsFont());
    return label;
}

QHBoxLayout* row(QVBoxLayout* stack) {
    auto* layout = new QHBoxLayout;
    layout->setSpacing(8);
    stack->addLayout(layout);
    return layout;
}

int formatIndex(ExportFormat format) {
    switch (format) {
        case ExportFormat::gif:
            return 0;
        case ExportFormat::webp:
            return 1;
        case ExportFormat::mp4:
            return 2;
    }
    return 0;
}

}  // namespace

QColor ExportAccessoryView::secondaryColor() {
    return QColor(0, 0, 0, 0x8c);
}

QColor ExportAccessoryView::tertiaryColor() {
    return QColor(0, 0, 0, 0x47);
}

ExportAccessoryView::ExportAccessoryView(ExportModel* model, QWidget* parent)
    : QWidget(parent), m_model(model) {
    setFixedWidth(kWidth);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(12, 10, 12, 10);
    stack->setSpacing(10);

    // Format.
    QHBoxLayout* formatRow = row(stack);
    formatRow->addWidget(caption(tr("格式"), this));
    m_formatGroup = new QButtonGroup(this);
    m_formatGroup->setExclusive(true);
    auto* segments = new QHBoxLayout;
    segments->setSpacing(0);
    for (int i = 0; i < 3; ++i) {
        auto* button = new QToolButton(this);
        button->setText(extension(kExportFormats[size_t(i)].format).toUpper());
        button->setCheckable(true);
        button->setFixedWidth(64);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        m_formatGroup->addButton(button, i);
        segments->addWidget(button);
        m_formatButtons[i] = button;
    }
    m_formatButtons[formatIndex(model->format())]->setChecked(true);
    formatRow->addLayout(segments);
    formatRow->addStretch(1);
    connect(m_formatGroup, &QButtonGroup::idClicked, this, &ExportAccessoryView::formatChanged);

    // Quality.
    QHBoxLayout* qualityRow = row(stack);
    qualityRow->addWidget(caption(tr("品质"), this));
    m_slider = slider(1, 100, model->quality(), this);
    qualityRow->addWidget(m_slider, 1);
    m_qualityValueLabel = new QLabel(QString::number(model->quality()), this);
    m_qualityValueLabel->setFixedWidth(32);
    m_qualityValueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_qualityValueLabel->setFont(digitsFont());
    setTextColor(m_qualityValueLabel, secondaryColor());
    qualityRow->addWidget(m_qualityValueLabel);
    connect(m_slider, &QSlider::valueChanged, this, &ExportAccessoryView::qualityChanged);

    // How a WebP stores its frames; the row stays in place for other formats,
    // disabled.
    QHBoxLayout* webpRow = row(stack);
    m_webpModeCaption = caption(tr("WebP"), this);
    webpRow->addWidget(m_webpModeCaption);
    m_webpModeGroup = new QButtonGroup(this);
    m_webpModeGroup->setExclusive(true);
    auto* modes = new QHBoxLayout;
    modes->setSpacing(0);
    const QString modeTexts[3] = {tr("有损"), tr("无损"), tr("自动")};
    const QString modeTips[3] = {tr("按品质压缩,文件最小"), tr("每个像素保持原样"),
                                 tr("每帧取有损和无损中较小的一种")};
    for (int i = 0; i < 3; ++i) {
        auto* button = new QToolButton(this);
        button->setText(modeTexts[i]);
        button->setToolTip(modeTips[i]);
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        m_webpModeGroup->addButton(button, i);
        modes->addWidget(button);
        m_webpModeButtons[i] = button;
    }
    // One width for the three, the widest text's (the words differ by language).
    int modeWidth = 64;
    for (QToolButton* button : m_webpModeButtons) {
        modeWidth = std::max(modeWidth, button->sizeHint().width());
    }
    for (QToolButton* button : m_webpModeButtons) {
        button->setFixedWidth(modeWidth);
    }
    m_webpModeButtons[int(model->webpMode())]->setChecked(true);
    webpRow->addLayout(modes);
    webpRow->addStretch(1);
    connect(m_webpModeGroup, &QButtonGroup::idClicked, this, [this](int index) {
        if (m_model && index >= 0 && index < 3) {
            m_model->setWebpMode(WebPMode(index));
        }
        scheduleEstimate();
        refreshEnabledStates();
    });

    // Lossy GIF compression and its strength; the row stays in place for
    // other formats, disabled.
    {
        QHBoxLayout* layout = row(stack);
        m_lossyCheck = new QCheckBox(tr("有损压缩"), this);
        m_lossyCheck->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        m_lossyCheck->setToolTip(tr("颜色略有偏差,文件更小;静止的像素保持不变"));
        layout->addWidget(m_lossyCheck);
        const int strength = model->gifLossy() > 0 ? model->gifLossy() : kDefaultLossy;
        m_lossySlider = slider(1, 100, strength, this);
        layout->addWidget(m_lossySlider, 1);
        m_lossyValueLabel = valueLabel(QString::number(strength), this);
        layout->addWidget(m_lossyValueLabel);
        m_lossyCheck->setChecked(model->gifLossy() > 0);
        const auto apply = [this] {
            m_lossyValueLabel->setText(QString::number(m_lossySlider->value()));
            if (m_model) {
                m_model->setGifLossy(m_lossyCheck->isChecked() ? m_lossySlider->value() : 0);
            }
            scheduleEstimate();
            refreshEnabledStates();
        };
        connect(m_lossyCheck, &QCheckBox::toggled, this, apply);
        connect(m_lossySlider, &QSlider::valueChanged, this, apply);
    }

    // Estimate.
    QHBoxLayout* sizeRow = row(stack);
    sizeRow->addWidget(caption(tr("预计大小"), this));
    m_sizeValueLabel = new QLabel(i18n::describe(model->sizeEstimate()), this);
    m_sizeValueLabel->setFont(digitsFont());
    setTextColor(m_sizeValueLabel, secondaryColor());
    sizeRow->addWidget(m_sizeValueLabel, 1);

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    stack->addWidget(separator);

    auto* title = new QLabel(tr("缩小输出文件大小"), this);
    QFont small = title->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    small.setBold(true);
    title->setFont(small);
    stack->addWidget(title);

    auto optionRow = [&](const QString& text, QCheckBox*& check, QSlider*& s, int minimum,
                         int maximum, int value, QLabel*& label, const QString& valueText) {
        QHBoxLayout* layout = row(stack);
        check = new QCheckBox(text, this);
        check->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        layout->addWidget(check);
        s = slider(minimum, maximum, value, this);
        layout->addWidget(s, 1);
        label = valueLabel(valueText, this);
        layout->addWidget(label);
    };
    optionRow(tr("减少帧数"), m_reduceCheck, m_reduceSlider, 10, 90, model->reduceFramesPercent(),
              m_reduceValueLabel, QStringLiteral("%1%").arg(model->reduceFramesPercent()));
    optionRow(tr("缩小尺寸"), m_resizeCheck, m_resizeSlider, 10, 100, model->resizePercent(),
              m_resizeValueLabel, QStringLiteral("%1%").arg(model->resizePercent()));
    optionRow(tr("跳过相似帧"), m_skipCheck, m_skipSlider, 80, 99, model->similarityPercent(),
              m_skipValueLabel, QStringLiteral("%1%").arg(model->similarityPercent()));
    {
        QHBoxLayout* layout = row(stack);
        m_durationLabel = new QLabel(tr("相似帧最长"), this);
        layout->addWidget(m_durationLabel);
        m_durationSlider = slider(1, 10, model->maxSimilarDuration(), this);
        layout->addWidget(m_durationSlider, 1);
        m_durationValueLabel = valueLabel(tr("%1 秒").arg(model->maxSimilarDuration()), this);
        layout->addWidget(m_durationValueLabel);
    }
    {
        // The file at most this many MB: the estimate shows what it takes.
        QHBoxLayout* layout = row(stack);
        m_sizeLimitCheck = new QCheckBox(tr("限制大小"), this);
        m_sizeLimitCheck->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        layout->addWidget(m_sizeLimitCheck);
        m_sizeLimitBox = new QSpinBox(this);
        m_sizeLimitBox->setRange(1, 1000);
        m_sizeLimitBox->setValue(model->sizeLimitMegabytes());
        m_sizeLimitBox->setSuffix(QStringLiteral(" MB"));
        layout->addWidget(m_sizeLimitBox);
        layout->addStretch(1);
        m_sizeLimitCheck->setChecked(model->sizeLimitEnabled());
    }
    m_reduceCheck->setChecked(model->reduceFramesEnabled());
    m_resizeCheck->setChecked(model->resizeEnabled());
    m_skipCheck->setChecked(model->skipSimilarEnabled());

    m_processedInfoLabel = new QLabel(tr("处理后:") + i18n::describe(model->processedInfo()), this);
    QFont infoFont = small;
    infoFont.setBold(false);
    m_processedInfoLabel->setFont(infoFont);
    setTextColor(m_processedInfoLabel, secondaryColor());
    stack->addWidget(m_processedInfoLabel);

    connect(m_reduceCheck, &QCheckBox::toggled, this, &ExportAccessoryView::reduceToggled);
    connect(m_resizeCheck, &QCheckBox::toggled, this, &ExportAccessoryView::resizeToggled);
    connect(m_skipCheck, &QCheckBox::toggled, this, &ExportAccessoryView::skipToggled);
    connect(m_reduceSlider, &QSlider::valueChanged, this, &ExportAccessoryView::reduceChanged);
    connect(m_resizeSlider, &QSlider::valueChanged, this, &ExportAccessoryView::resizeChanged);
    connect(m_skipSlider, &QSlider::valueChanged, this, &ExportAccessoryView::skipChanged);
    connect(m_durationSlider, &QSlider::valueChanged, this, &ExportAccessoryView::durationChanged);
    connect(m_sizeLimitCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (m_model) {
            m_model->setSizeLimitEnabled(on);
        }
        scheduleEstimate();
        refreshEnabledStates();
    });
    connect(m_sizeLimitBox, &QSpinBox::valueChanged, this, [this](int megabytes) {
        if (m_model) {
            m_model->setSizeLimitMegabytes(megabytes);
        }
        scheduleEstimate();
    });

    // The model reports back; the connections end with this view.
    connect(model, &ExportModel::sizeEstimateChanged, this, [this](const SizeEstimate& estimate) {
        m_sizeValueLabel->setText(i18n::describe(estimate));
    });
    connect(model, &ExportModel::processedInfoChanged, this, [this](const ProcessedInfo& info) {
        m_processedInfoLabel->setText(tr("处理后:") + i18n::describe(info));
    });
    // A format chosen elsewhere (by the typed file name) shows here too.
    connect(model, &ExportModel::formatChanged, this, [this](ExportFormat format) {
        QToolButton* button = m_formatButtons[formatIndex(format)];
        if (!button->isChecked()) {
            button->setChecked(true);
            scheduleEstimate();
        }
    });

    refreshEnabledStates();
}

void ExportAccessoryView::scheduleEstimate() {
    if (m_model) {
        m_model->scheduleEstimate();
    }
}

void ExportAccessoryView::formatChanged(int index) {
    if (index < 0 || index >= 3 || !m_model) {
        return;
    }
    m_model->setFormat(kExportFormats[size_t(index)].format);
    scheduleEstimate();
    refreshEnabledStates();
}

void ExportAccessoryView::qualityChanged(int value) {
    m_qualityValueLabel->setText(QString::number(value));
    if (m_model) {
        m_model->setQuality(value);
    }
    scheduleEstimate();
}

void ExportAccessoryView::reduceToggled(bool on) {
    if (m_model) {
        m_model->setReduceFramesEnabled(on);
    }
    scheduleEstimate();
    refreshEnabledStates();
}

void ExportAccessoryView::resizeToggled(bool on) {
    if (m_model) {
        m_model->setResizeEnabled(on);
    }
    scheduleEstimate();
    refreshEnabledStates();
}

void ExportAccessoryView::skipToggled(bool on) {
    if (m_model) {
        m_model->setSkipSimilarEnabled(on);
    }
    scheduleEstimate();
    refreshEnabledStates();
}

void ExportAccessoryView::reduceChanged(int value) {
    if (m_model) {
        m_model->setReduceFramesPercent(value);
    }
    scheduleEstimate();
    m_reduceValueLabel->setText(QStringLiteral("%1%").arg(value));
}

void ExportAccessoryView::resizeChanged(int value) {
    if (m_model) {
        m_model->setResizePercent(value);
    }
    scheduleEstimate();
    m_resizeValueLabel->setText(QStringLiteral("%1%").arg(value));
}

void ExportAccessoryView::skipChanged(int value) {
    if (m_model) {
        m_model->setSimilarityPercent(value);
    }
    scheduleEstimate();
    m_skipValueLabel->setText(QStringLiteral("%1%").arg(value));
}

void ExportAccessoryView::durationChanged(int value) {
    if (m_model) {
        m_model->setMaxSimilarDuration(value);
    }
    scheduleEstimate();
    m_durationValueLabel->setText(tr("%1 秒").arg(value));
}

void ExportAccessoryView::refreshEnabledStates() {
    const bool reduce = m_reduceCheck->isChecked();
    const bool resize = m_resizeCheck->isChecked();
    const bool skip = m_skipCheck->isChecked();
    m_reduceSlider->setEnabled(reduce);
    m_resizeSlider->setEnabled(resize);
    m_skipSlider->setEnabled(skip);
    m_durationSlider->setEnabled(skip);
    m_sizeLimitBox->setEnabled(m_sizeLimitCheck->isChecked());
    const bool webp = m_model && m_model->format() == ExportFormat::webp;
    m_webpModeCaption->setEnabled(webp);
    for (QToolButton* button : m_webpModeButtons) {
        button->setEnabled(webp);
    }
    // A lossless WebP is exact whatever the quality.
    const bool qualityMatters = !(webp && m_model->webpMode() == WebPMode::lossless);
    m_slider->setEnabled(qualityMatters);
    auto colour = [](bool on) { return on ? secondaryColor() : tertiaryColor(); };
    setTextColor(m_qualityValueLabel, colour(qualityMatters));
    const bool gif = m_model && m_model->format() == ExportFormat::gif;
    m_lossyCheck->setEnabled(gif);
    m_lossySlider->setEnabled(gif && m_lossyCheck->isChecked());
    setTextColor(m_lossyValueLabel, colour(gif && m_lossyCheck->isChecked()));
    setTextColor(m_reduceValueLabel, colour(reduce));
    setTextColor(m_resizeValueLabel, colour(resize));
    setTextColor(m_skipValueLabel, colour(skip));
    setTextColor(m_durationLabel, colour(skip));
    setTextColor(m_durationValueLabel, colour(skip));
}

}  // namespace mirelo
