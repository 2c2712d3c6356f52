#pragma once

#include "addins/slide_animation.h"
#include "forms/form.h"
#include "forms/form_names.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

class QLabel;

// frmCaution: the study reminder. It rises at the bottom right of the screen with the title
// from "settings.ini" in its caption and the message in large green text, stays above other
// windows for about forty seconds and sinks away, then unloads itself. It never takes the
// keyboard from the window the student is typing in, but it can be clicked, dragged by its
// body and its text, and closed.
//
// Each showing loads it anew (it is unloaded between showings), so the texts are read again
// every time. A showing while one is on screen leaves the running slide alone.
class CautionWindow final : public Form {
    Q_OBJECT
public:
    static constexpr QLatin1String kName = FormName::Caution;

    explicit CautionWindow(AppContext& context, QWidget* parent = nullptr);

    void Form_Load() override;
    void Form_Unload(bool& cancel) override;

    // One step of the slide; Timer1 calls it every 20 ms while the window is shown.
    void Timer1_Timer();
    void Form_MouseDown();
    void Label1_MouseDown();

    const SlideAnimation& slide() const { return m_slide; }

    QLabel* Label1 = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The whole primary screen (not the work area) and the outer frame, in twips.
    QRect screenTwips() const;
    QSize outerTwips() const;
    QPoint frameTopLeftTwips() const;
    void moveFrameToTwips(const QPoint& topLeft);

    SlideAnimation m_slide;
};
