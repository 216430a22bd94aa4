#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QSlider;
class QSpinBox;
class QToolButton;

namespace mirelo {

class ExportModel;

// The export options inside the save dialog: format, quality, the live size
// estimate and the three ways of making the file smaller. Every control writes
// its value into the ExportModel and asks it for a new estimate; the estimate
// and the processed-frames summary come back through the model's signals.
class ExportAccessoryView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 400;
    // The strength 有损压缩 starts at when turned on.
    static constexpr int kDefaultLossy = 40;

    explicit ExportAccessoryView(ExportModel* model, QWidget* parent = nullptr);

    // Label colours: an option's labels are secondary while it is on and
    // tertiary while it is off.
    static QColor secondaryColor();
    static QColor tertiaryColor();

    // --- Controls, for tests -------------------------------------------------
    QToolButton* formatButton(int index) const { return m_formatButtons[index]; }
    QSlider* qualitySlider() const { return m_slider; }
    QLabel* qualityValueLabel() const { return m_qualityValueLabel; }
    // 有损 / 无损 / 自动, in the order of WebPMode; enabled for WebP only.
    QToolButton* webpModeButton(int index) const { return m_webpModeButtons[index]; }
    // 有损压缩 and its strength; enabled for GIF only.
    QCheckBox* lossyCheck() const { return m_lossyCheck; }
    QSlider* lossySlider() const { return m_lossySlider; }
    QLabel* sizeValueLabel() const { return m_sizeValueLabel; }
    QCheckBox* reduceCheck() const { return m_reduceCheck; }
    QSlider* reduceSlider() const { return m_reduceSlider; }
    QLabel* reduceValueLabel() const { return m_reduceValueLabel; }
    QCheckBox* resizeCheck() const { return m_resizeCheck; }
    QSlider* resizeSlider() const { return m_resizeSlider; }
    QLabel* resizeValueLabel() const { return m_resizeValueLabel; }
    QCheckBox* skipCheck() const { return m_skipCheck; }
    QSlider* skipSlider() const { return m_skipSlider; }
    QLabel* skipValueLabel() const { return m_skipValueLabel; }
    QLabel* durationLabel() const { return m_durationLabel; }
    QSlider* durationSlider() const { return m_durationSlider; }
    QLabel* durationValueLabel() const { return m_durationValueLabel; }
    QLabel* processedInfoLabel() const { return m_processedInfoLabel; }
    QCheckBox* sizeLimitCheck() const { return m_sizeLimitCheck; }
    QSpinBox* sizeLimitBox() const { return m_sizeLimitBox; }

private:
    void formatChanged(int index);
    void qualityChanged(int value);
    void reduceToggled(bool on);
    void resizeToggled(bool on);
    void skipToggled(bool on);
    void reduceChanged(int value);
    void resizeChanged(int value);
    void skipChanged(int value);
    void durationChanged(int value);
    void refreshEnabledStates();
    void scheduleEstimate();

    QPointer<ExportModel> m_model;
    QButtonGroup* m_formatGroup = nullptr;
    QToolButton* m_formatButtons[3] = {};
    QButtonGroup* m_webpModeGroup = nullptr;
    QToolButton* m_webpModeButtons[3] = {};
    QLabel* m_webpModeCaption = nullptr;
    QCheckBox* m_lossyCheck = nullptr;
    QSlider* m_lossySlider = nullptr;
    QLabel* m_lossyValueLabel = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_qualityValueLabel = nullptr;
    QLabel* m_sizeValueLabel = nullptr;
    QCheckBox* m_reduceCheck = nullptr;
    QSlider* m_reduceSlider = nullptr;
    QLabel* m_reduceValueLabel = nullptr;
    QCheckBox* m_resizeCheck = nullptr;
    QSlider* m_resizeSlider = nullptr;
    QLabel* m_resizeValueLabel = nullptr;
    QCheckBox* m_skipCheck = nullptr;
    QSlider* m_skipSlider = nullptr;
    QLabel* m_skipValueLabel = nullptr;
    QLabel* m_durationLabel = nullptr;
    QSlider* m_durationSlider = nullptr;
    QLabel* m_durationValueLabel = nullptr;
    QLabel* m_processedInfoLabel = nullptr;
    QCheckBox* m_sizeLimitCheck = nullptr;
    QSpinBox* m_sizeLimitBox = nullptr;
};

}  // namespace mirelo
