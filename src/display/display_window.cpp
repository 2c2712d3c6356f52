#include "display/display_window.h"

#include "display/common_dialog.h"
#include "forms/app_context.h"
#include "forms/countdown_style.h"
#include "forms/message_box.h"
#include "forms/program_icon.h"
#include "forms/twips_layout.h"
#include "forms/window_registry.h"
#include "settings/data_files.h"
#include "settings/data_paths.h"
#include "winutil/screen_placement.h"
#include "winutil/twips.h"
#include "winutil/window_utils.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

namespace {

// Client area at design time, in twips.
constexpr double kDesignLeft = 7815;
constexpr double kDesignTop = 5760;
constexpr double kDesignWidth = 5955;
constexpr double kDesignHeight = 2520;

// What the position face keeps free around its controls when the window is made small.
constexpr int kPositionFaceMargin = 4;

constexpr int kFontFlags = CommonDialog1::cdlCFScreenFonts | CommonDialog1::cdlCFPrinterFonts |
                           CommonDialog1::cdlCFEffects;
constexpr int kColorFlags =
    CommonDialog1::cdlCCRGBInit | CommonDialog1::cdlCCFullOpen | CommonDialog1::cdlCCAnyColor;

QFont hintFont(const QFont& base) {
    QFont font = base;
    font.setFamily(QStringLiteral("宋体"));
    font.setPointSizeF(10.5);
    return font;
}

} // namespace

DisplayWindow::DisplayWindow(AppContext& context, QWidget* parent)
    : Form(context, kName, parent), m_dialog(std::make_unique<CommonDialog1>(this)) {
    // A fixed single border with a minimise button and no maximise button; a taskbar entry.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("显示设置"));
    // The design position counts from the primary screen's corner, so that the window opens
    // on a screen that exists whatever the monitors' arrangement.
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect design =
        onScreen(twips::toPixels(kDesignLeft, kDesignTop, kDesignWidth, kDesignHeight),
                 primary ? primary->geometry() : QRect());
    m_designSize = design.size();
    setGeometry(design);
    setFixedSize(m_designSize);

    // Created in tab order: "完成" first, then the four setting buttons.
    Command1 = addButton("Command1", QStringLiteral("完成"), 2370, 1680, 1215, 495);
    Command2 = addButton("Command2", QStringLiteral("显示位置"), 570, 1560, 1215, 480);
    Command3 = addButton("Command3", QStringLiteral("显示字体"), 2370, 1560, 1215, 480);
    Command4 = addButton("Command4", QStringLiteral("字体颜色"), 4170, 1560, 1215, 480);
    Command5 = addButton("Command5", QStringLiteral("全部重置"), 2370, 600, 1215, 495);

    Label1 = addLabel("Label1", 1050, 600, 3855, 855, QColor(0, 0, 192));
    Label1->setText(QStringLiteral("您可以通过调整此窗口位置以调整倒计时信息在桌面的显示位置，"
                                   "点击完成后，倒计时信息将在此窗口位置显示。"));
    Label1->setWordWrap(true);
    Label2 = addLabel("Label2", 1920, 2050, 2100, 480, QColor(0, 128, 0));
    m_label1Design = Label1->geometry();
    m_command1Design = Command1->geometry();

    connect(Command1, &QPushButton::clicked, this, &DisplayWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &DisplayWindow::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &DisplayWindow::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &DisplayWindow::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &DisplayWindow::Command5_Click);
}

DisplayWindow::~DisplayWindow() = default;

QPushButton* DisplayWindow::addButton(const char* name, const QString& caption, double left,
                                      double top, double width, double height) {
    auto* button = twipslayout::add<QPushButton>(this, name, left, top, width, height, caption);
    return button;
}

QLabel* DisplayWindow::addLabel(const char* name, double left, double top, double width,
                                double height, const QColor& colour) {
    auto* label = twipslayout::add<QLabel>(this, name, left, top, width, height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(hintFont(font()));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    // A press on a label drags the window: the label answers it itself.
    label->installEventFilter(this);
    return label;
}

void DisplayWindow::Form_Load() {
    const Form* tray = m_context.registry.form(FormName::Tray);
    setWindowIcon(tray ? tray->windowIcon() : programIcon());
    Label1->hide();
    Command1->hide();
    // A label breaks its lines at LF.
    Label2->setText(QStringLiteral("建议将字体修改为楷体") + QStringLiteral("\n") +
                    QStringLiteral("   字号大小设为15号"));
}

void DisplayWindow::Command2_Click() {
    setWindowTitle(QStringLiteral("显示位置调整"));
    Command2->hide();
    Command3->hide();
    Command4->hide();
    Command5->hide();
    Command1->show();
    Label2->hide();
    Label1->show();

    // The student sizes the window over the place the countdown should fill. The instruction
    // and "完成" stay whole down to the smallest size allowed.
    m_positionFace = true;
    const QRect controls = m_label1Design | m_command1Design;
    const int spareX = qMax(0, qMin(controls.left(), m_designSize.width() - controls.right() - 1) -
                                   kPositionFaceMargin);
    const int spareY = qMax(0, qMin(controls.top(), m_designSize.height() - controls.bottom() - 1) -
                                   kPositionFaceMargin);
    setMinimumSize(m_designSize - QSize(2 * spareX, 2 * spareY));
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    placePositionFaceControls();
}

void DisplayWindow::placePositionFaceControls() {
    if (!m_positionFace)
        return;
    const QSize grown = size() - m_designSize;
    const QPoint shift(grown.width() / 2, grown.height() / 2);
    Label1->setGeometry(m_label1Design.translated(shift));
    Command1->setGeometry(m_command1Design.translated(shift));
}

void DisplayWindow::Command1_Click() {
    // The outer rectangle, title bar and borders included: the countdown has no frame and
    // covers all of it.
    const QRect outer = frameGeometry();
    CountdownRect rect;
    rect.width = twips::fromPixelsX(outer.width(), this);
    rect.height = twips::fromPixelsY(outer.height(), this);
    rect.top = twips::fromPixelsY(outer.top(), this);
    rect.left = twips::fromPixelsX(outer.left(), this);
    m_context.style.setRect(rect);
    QString error;
    if (!m_context.style.storeRect(m_context.settings, &error)) {
        // The countdown still moves for this run; the student knows it will not stay there.
        MessageBox::warning(this, windowTitle(),
                            QStringLiteral("无法保存倒计时的位置，下次启动时将不在此处显示：") +
                                error);
    }

    WindowRegistry& registry = m_context.registry;
    registry.unload(FormName::Main);
    registry.unload(kName);
    registry.show(FormName::Main);
}

void DisplayWindow::Command3_Click() {
    CommonDialog1& dialog = *m_dialog;
    dialog.CancelError = true;
    dialog.Flags = kFontFlags;
    if (!dialog.ShowFont())
        return;
    TextStyle style;
    style.fontName = dialog.FontName;
    style.fontSize = dialog.FontSize;
    style.bold = dialog.FontBold;
    style.italic = dialog.FontItalic;
    style.underline = dialog.FontUnderline;
    style.strikethru = dialog.FontStrikethru;
    style.foreColor = dialog.Color;
    // One change: the countdown redraws its three lines once, font and colour together.
    m_context.style.setText(style);
}

void DisplayWindow::Command4_Click() {
    CommonDialog1& dialog = *m_dialog;
    dialog.CancelError = true;
    dialog.Flags = kColorFlags;
    if (!dialog.ShowColor())
        return;
    m_context.style.setForeColor(dialog.Color);
}

void DisplayWindow::Command5_Click() {
    // The countdown is centred for this run only; the stored rectangle stays. The marker is the
    // reminder file under its second name, or one of our own when there is none, so the
    // reminder settings are never lost. Without a marker the reset still goes on.
    QString error;
    if (!placeRecentreMarker(m_context.paths.dataDir(), &error)) {
        MessageBox::warning(this, windowTitle(), QStringLiteral("倒计时无法居中显示：") + error);
    }

    TextStyle style;
    style.fontName = IsVistaSystem() ? QStringLiteral("楷体") : QStringLiteral("楷体_GB2312");
    style.fontSize = 15;
    style.foreColor = 0;
    m_context.style.setText(style);

    WindowRegistry& registry = m_context.registry;
    registry.unload(FormName::Main);
    registry.unload(kName);
    registry.show(FormName::Main);
}

void DisplayWindow::Form_MouseDown() {
    DragWindow(this);
}

void DisplayWindow::Label1_MouseDown() {
    DragWindow(this);
}

void DisplayWindow::Label2_MouseDown() {
    DragWindow(this);
}

bool DisplayWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == Label1) {
            Label1_MouseDown();
            return true;
        }
        if (watched == Label2) {
            Label2_MouseDown();
            return true;
        }
    }
    return Form::eventFilter(watched, event);
}

void DisplayWindow::mousePressEvent(QMouseEvent* event) {
    Form_MouseDown();
    event->accept();
}

void DisplayWindow::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    placePositionFaceControls();
}
