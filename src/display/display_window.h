#pragma once

#include "forms/form.h"
#include "forms/form_names.h"

#include <QRect>

#include <memory>

class CommonDialog1;
class QLabel;
class QPushButton;

// frmWindows: where the student places the countdown by example and picks its font and
// colour. The font and colour go straight to the countdown's style (frmMain shows them at
// once); "完成" stores this window's outer rectangle as the countdown's; "全部重置" brings back
// the default style and centres the countdown for this run.
//
// Two faces: the settings face after load, and the position face after "显示位置", in which
// the window can be dragged by its body and resized. There is no way back to the settings face
// but closing and reopening the window.
class DisplayWindow final : public Form {
    Q_OBJECT
public:
    static constexpr QLatin1String kName = FormName::Windows;

    explicit DisplayWindow(AppContext& context, QWidget* parent = nullptr);
    ~DisplayWindow() override;

    void Form_Load() override;

    void Command1_Click(); // 完成
    void Command2_Click(); // 显示位置
    void Command3_Click(); // 显示字体
    void Command4_Click(); // 字体颜色
    void Command5_Click(); // 全部重置
    void Form_MouseDown();
    void Label1_MouseDown();
    void Label2_MouseDown();

    CommonDialog1& commonDialog1() { return *m_dialog; }
    bool inPositionFace() const { return m_positionFace; }

    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPushButton* addButton(const char* name, const QString& caption, double left, double top,
                           double width, double height);
    QLabel* addLabel(const char* name, double left, double top, double width, double height,
                     const QColor& colour);
    // Keeps the instruction and "完成" where they were designed relative to the window's
    // centre, so that they stay whole whatever size the student gives the window.
    void placePositionFaceControls();

    std::unique_ptr<CommonDialog1> m_dialog;
    QSize m_designSize;
    QRect m_label1Design;
    QRect m_command1Design;
    bool m_positionFace = false;
};
