#include "ui/editor/OverlayInspectorView.h"

#include "editor/EditorState.h"
#include "ui/Theme.h"
#include "ui/editor/EditorIcons.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace mirelo {

namespace {

QLabel* makeCaption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 0, 150));
    label->setPalette(pal);
    return label;
}

QLabel* symbolLabel(const QString& symbol, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(EditorIcons::icon(symbol).pixmap(16, 16));
    label->setEnabled(false);  // dimmed, like secondary text
    return label;
}

QIcon swatch(const QColor& color) {
    QPixmap pixmap(20, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.setBrush(color);
    p.drawRoundedRect(QRectF(0.5, 0.5, 19, 13), 3, 3);
    return QIcon(pixmap);
}

}  // namespace

int OverlayInspectorView::toSlider(double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    return static_cast<int>(std::lround(std::clamp(value, -1e6, 1e6) * kSliderSteps));
}

double OverlayInspectorView::fromSlider(int position) {
    return double(position) / kSliderSteps;
}

OverlayInspectorView::OverlayInspectorView(EditorState* state, QWidget* parent)
    : QWidget(parent), m_state(state) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Theme::card());
    setPalette(pal);
    m_row = new QHBoxLayout(this);
    m_row->setContentsMargins(12, 6, 12, 6);
    m_row->setSpacing(12);
    m_row->addStretch(1);

    m_deleteButton = new QToolButton(this);
    m_deleteButton->setIcon(EditorIcons::icon(QStringLiteral("trash")));
    m_deleteButton->setAutoRaise(true);
    m_deleteButton->setToolTip(tr("删除该叠加元素"));
    m_deleteButton->setFocusPolicy(Qt::NoFocus);
    connect(m_deleteButton, &QToolButton::clicked, this, [this] { m_state->deleteOverlay(m_id); });
    m_row->addWidget(m_deleteButton);

    m_doneButton = new QPushButton(tr("完成"), this);
    m_doneButton->setAutoDefault(false);
    m_doneButton->setFocusPolicy(Qt::NoFocus);
    connect(m_doneButton, &QPushButton::clicked, this,
            [this] { m_state->setSelectedOverlayID(QUuid()); });
    m_row->addWidget(m_doneButton);
}

QString OverlayInspectorView::valueText(double value) {
    if (!std::isfinite(value)) {
        return QStringLiteral("0");
    }
    return QString::number(static_cast<long long>(std::trunc(value)));
}

void OverlayInspectorView::showItem(const OverlayItem& item) {
    if (item.id != m_id) {
        endSession();
        m_id = item.id;
        m_edit = m_state->beginOverlayEdit(m_id);
    }
    if (static_cast<int>(item.content.index()) != m_kind) {
        rebuild(item);
    }
    refreshValues(item);
}

void OverlayInspectorView::endSession() {
    if (!m_id.isNull()) {
        m_edit.close();
        m_id = QUuid();
    }
}

void OverlayInspectorView::clearControls() {
    for (QWidget* widget : std::as_const(m_controls)) {
        widget->hide();
        widget->deleteLater();
    }
    m_controls.clear();
    m_textField = nullptr;
    m_slider = nullptr;
    m_valueLabel = nullptr;
    m_caption = nullptr;
    m_check = nullptr;
    m_colorButton = nullptr;
    m_boxColorButton = nullptr;
    m_placement = nullptr;
    m_replaceButton = nullptr;
}

void OverlayInspectorView::rebuild(const OverlayItem& item) {
    clearControls();
    m_kind = static_cast<int>(item.content.index());
    int at = 0;
    auto add = [&](QWidget* widget) {
        m_row->insertWidget(at++, widget);
        m_controls.append(widget);
    };
    auto addSlider = [&](int minimum, int maximum) {
        m_slider = new QSlider(Qt::Horizontal, this);
        m_slider->setRange(minimum * kSliderSteps, maximum * kSliderSteps);
        m_slider->setSingleStep(kSliderSteps);
        m_slider->setPageStep(kSliderSteps * 10);
        m_slider->setFixedWidth(100);
        m_slider->setFocusPolicy(Qt::NoFocus);
        add(m_slider);
        m_valueLabel = new QLabel(this);
        m_valueLabel->setFixedWidth(28);
        QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        digits.setPointSizeF(m_valueLabel->font().pointSizeF() * 0.9);
        m_valueLabel->setFont(digits);
        add(m_valueLabel);
    };
    auto addColorWell = [&] {
        m_colorButton = new QToolButton(this);
        m_colorButton->setAutoRaise(true);
        m_colorButton->setFocusPolicy(Qt::NoFocus);
        connect(m_colorButton, &QToolButton::clicked, this, [this] {
            QColor initial = Qt::black;
            for (const OverlayItem& it : m_state->overlays()) {
                if (it.id == m_id) {
                    if (const auto* t = std::get_if<TextOverlay>(&it.content)) {
                        initial = t->color.toQColor();
                    } else if (const auto* a = std::get_if<ArrowOverlay>(&it.content)) {
                        initial = a->color.toQColor();
                    } else if (const auto* k = std::get_if<KeyCaptionOverlay>(&it.content)) {
                        initial = k->textColor.toQColor();
                    } else if (const auto* c = std::get_if<ClickMarkOverlay>(&it.content)) {
                        initial = c->color.toQColor();
                    }
                }
            }
            const QColor picked =
                QColorDialog::getColor(initial, this, QString(), QColorDialog::DontUseNativeDialog);
            if (picked.isValid()) {
                pickColor(picked);
            }
        });
        add(m_colorButton);
    };
    // A caption's box colour, with its opacity.
    auto addBoxColorWell = [&] {
        m_boxColorButton = new QToolButton(this);
        m_boxColorButton->setAutoRaise(true);
        m_boxColorButton->setFocusPolicy(Qt::NoFocus);
        m_boxColorButton->setToolTip(tr("底色"));
        connect(m_boxColorButton, &QToolButton::clicked, this, [this] {
            QColor initial = Qt::black;
            for (const OverlayItem& it : m_state->overlays()) {
                if (const auto* k = std::get_if<KeyCaptionOverlay>(&it.content);
                    k && it.id == m_id) {
                    initial = k->boxColor.toQColor();
                }
            }
            const QColor picked = QColorDialog::getColor(
                initial, this, QString(),
                QColorDialog::DontUseNativeDialog | QColorDialog::ShowAlphaChannel);
            if (picked.isValid()) {
                pickBoxColor(picked);
            }
        });
        add(m_boxColorButton);
    };

    if (std::holds_alternative<TextOverlay>(item.content)) {
        m_textField = new QLineEdit(this);
        m_textField->setPlaceholderText(tr("文字内容"));
        m_textField->setFixedWidth(180);
        connect(m_textField, &QLineEdit::textEdited, this, [this](const QString& value) {
            write([&](OverlayContent& c) {
                if (auto* t = std::get_if<TextOverlay>(&c)) {
                    t->text = value;
                }
            });
        });
        connect(m_textField, &QLineEdit::returnPressed, this,
                &OverlayInspectorView::fieldCommitted);
        add(m_textField);
        add(makeCaption(tr("字号"), this));
        addSlider(8, 200);
        connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
            write([&](OverlayContent& c) {
                if (auto* t = std::get_if<TextOverlay>(&c)) {
                    t->fontSize = fromSlider(value);
                }
            });
        });
        addColorWell();
        m_check = new QCheckBox(tr("阴影"), this);
        m_check->setToolTip(tr("为文字添加柔和阴影,提升在复杂背景上的可读性"));
        m_check->setFocusPolicy(Qt::NoFocus);
        connect(m_check, &QCheckBox::clicked, this, [this](bool on) {
            write([&](OverlayContent& c) {
                if (auto* t = std::get_if<TextOverlay>(&c)) {
                    t->shadow = on;
                }
            });
        });
        add(m_check);
    } else if (std::holds_alternative<StickerOverlay>(item.content)) {
        add(symbolLabel(QStringLiteral("photo"), this));
        m_caption = makeCaption(QString(), this);
        add(m_caption);
        m_check = new QCheckBox(tr("锁定比例"), this);
        m_check->setToolTip(tr("开启后,拖动右下角手柄缩放时保持原始宽高比,不会变形"));
        m_check->setFocusPolicy(Qt::NoFocus);
        connect(m_check, &QCheckBox::clicked, this, [this](bool on) {
            write([&](OverlayContent& c) {
                if (auto* s = std::get_if<StickerOverlay>(&c)) {
                    s->lockAspect = on;
                }
            });
        });
        add(m_check);
        m_replaceButton = new QPushButton(tr("替换图片…"), this);
        m_replaceButton->setAutoDefault(false);
        m_replaceButton->setFocusPolicy(Qt::NoFocus);
        connect(m_replaceButton, &QPushButton::clicked, this,
                [this] { m_state->replaceStickerImage(m_id); });
        add(m_replaceButton);
    } else if (std::holds_alternative<MosaicOverlay>(item.content)) {
        add(symbolLabel(QStringLiteral("squareshape.split.3x3"), this));
        add(makeCaption(tr("颗粒"), this));
        addSlider(4, 48);
        connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
            write([&](OverlayContent& c) {
                if (auto* m = std::get_if<MosaicOverlay>(&c)) {
                    m->blockSize = fromSlider(value);
                }
            });
        });
    } else if (std::holds_alternative<KeyCaptionOverlay>(item.content)) {
        m_textField = new QLineEdit(this);
        m_textField->setPlaceholderText(tr("按键"));
        m_textField->setFixedWidth(160);
        connect(m_textField, &QLineEdit::textEdited, this, [this](const QString& value) {
            write([&](OverlayContent& c) {
                if (auto* k = std::get_if<KeyCaptionOverlay>(&c)) {
                    k->text = value;
                }
            });
        });
        add(m_textField);
        add(makeCaption(QStringLiteral("字号"), this));
        addSlider(8, 96);
        connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
            write([&](OverlayContent& c) {
                if (auto* k = std::get_if<KeyCaptionOverlay>(&c)) {
                    k->fontSize = fromSlider(value);
                }
            });
        });
        addColorWell();
        addBoxColorWell();
        m_placement = new QComboBox(this);
        m_placement->addItem(tr("底部"), false);
        m_placement->addItem(tr("顶部"), true);
        m_placement->setFocusPolicy(Qt::NoFocus);
        connect(m_placement, &QComboBox::activated, this, [this](int index) {
            const bool top = m_placement->itemData(index).toBool();
            write([&](OverlayContent& c) {
                if (auto* k = std::get_if<KeyCaptionOverlay>(&c)) {
                    k->top = top;
                }
            });
        });
        add(m_placement);
    } else if (std::holds_alternative<ClickMarkOverlay>(item.content)) {
        add(makeCaption(tr("点击标记"), this));
        add(makeCaption(tr("大小"), this));
        addSlider(4, 64);
        connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
            write([&](OverlayContent& c) {
                if (auto* m = std::get_if<ClickMarkOverlay>(&c)) {
                    m->radius = fromSlider(value);
                }
            });
        });
        addColorWell();
    } else {
        add(symbolLabel(QStringLiteral("arrow.up.right"), this));
        add(makeCaption(tr("粗细"), this));
        addSlider(1, 24);
        connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
            write([&](OverlayContent& c) {
                if (auto* a = std::get_if<ArrowOverlay>(&c)) {
                    a->lineWidth = fromSlider(value);
                }
            });
        });
        addColorWell();
    }
}

void OverlayInspectorView::refreshValues(const OverlayItem& item) {
    auto setSlider = [this](double value) {
        const QSignalBlocker block(m_slider);
        m_slider->setValue(toSlider(value));
        m_valueLabel->setText(valueText(value));
    };
    if (const auto* t = std::get_if<TextOverlay>(&item.content)) {
        if (m_textField->text() != t->text) {
            const QSignalBlocker block(m_textField);
            m_textField->setText(t->text);
        }
        setSlider(t->fontSize);
        m_colorButton->setIcon(swatch(t->color.toQColor()));
        const QSignalBlocker block(m_check);
        m_check->setChecked(t->shadow);
    } else if (const auto* s = std::get_if<StickerOverlay>(&item.content)) {
        m_caption->setText(
            tr("贴纸 %1 × %2").arg(valueText(s->rect.width()), valueText(s->rect.height())));
        const QSignalBlocker block(m_check);
        m_check->setChecked(s->lockAspect);
    } else if (const auto* m = std::get_if<MosaicOverlay>(&item.content)) {
        setSlider(m->blockSize);
    } else if (const auto* a = std::get_if<ArrowOverlay>(&item.content)) {
        setSlider(a->lineWidth);
        m_colorButton->setIcon(swatch(a->color.toQColor()));
    } else if (const auto* k = std::get_if<KeyCaptionOverlay>(&item.content)) {
        if (m_textField->text() != k->text) {
            const QSignalBlocker block(m_textField);
            m_textField->setText(k->text);
        }
        setSlider(k->fontSize);
        m_colorButton->setIcon(swatch(k->textColor.toQColor()));
        m_boxColorButton->setIcon(swatch(k->boxColor.toQColor()));
        const QSignalBlocker block(m_placement);
        m_placement->setCurrentIndex(k->top ? 1 : 0);
    } else if (const auto* c = std::get_if<ClickMarkOverlay>(&item.content)) {
        setSlider(c->radius);
        m_colorButton->setIcon(swatch(c->color.toQColor()));
    }
}

void OverlayInspectorView::write(const std::function<void(OverlayContent&)>& change) {
    for (const OverlayItem& item : m_state->overlays()) {
        if (item.id == m_id) {
            OverlayContent content = item.content;
            change(content);
            m_state->setOverlayContent(m_id, content);
            return;
        }
    }
}

void OverlayInspectorView::pickColor(const QColor& color) {
    QColor opaque = color;
    opaque.setAlphaF(1.0);
    const RGBA rgba = RGBA::fromQColor(opaque);
    write([&](OverlayContent& c) {
        if (auto* t = std::get_if<TextOverlay>(&c)) {
            t->color = rgba;
        } else if (auto* a = std::get_if<ArrowOverlay>(&c)) {
            a->color = rgba;
        } else if (auto* k = std::get_if<KeyCaptionOverlay>(&c)) {
            k->textColor = rgba;
        } else if (auto* m = std::get_if<ClickMarkOverlay>(&c)) {
            m->color = rgba;
        }
    });
}

void OverlayInspectorView::pickBoxColor(const QColor& color) {
    const RGBA rgba = RGBA::fromQColor(color);
    write([&](OverlayContent& c) {
        if (auto* k = std::get_if<KeyCaptionOverlay>(&c)) {
            k->boxColor = rgba;
        }
    });
}

}  // namespace mirelo
