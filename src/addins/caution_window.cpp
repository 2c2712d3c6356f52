#include "addins/caution_window.h"

#include "forms/app_context.h"
#include "forms/program_icon.h"
#include "forms/twips_layout.h"
#include "forms/window_registry.h"
#include "settings/data_files.h"
#include "settings/data_paths.h"
#include "winutil/twips.h"
#include "winutil/window_utils.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

#include <cmath>

namespace {

constexpr double kClientWidth = 6030;
constexpr double kClientHeight = 2415;
constexpr quint32 kMessageColour = 0x008000; // &H00008000&, green

int roundedTwipsX(int pixels, const QWidget* on) {
    return int(std::lround(twips::fromPixelsX(pixels, on)));
}

int roundedTwipsY(int pixels, const QWidget* on) {
    return int(std::lround(twips::fromPixelsY(pixels, on)));
}

} // namespace

CautionWindow::CautionWindow(AppContext& context, QWidget* parent) : Form(context, kName, parent) {
    // A fixed single border with only the close button; an ordinary top-level, so it has a
    // taskbar entry.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // The student is typing somewhere else: a reminder that swallowed keystrokes would be worse
    // than none. It still takes the focus when clicked.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(twips::toPixelsX(kClientWidth, this), twips::toPixelsY(kClientHeight, this));

    Label1 = new QLabel(this);
    twipslayout::place(Label1, "Label1", 488, 240, 5055, 1935, this);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setWordWrap(true);
    Label1->setTextFormat(Qt::PlainText); // the message is the user's text, never markup
    Label1->setFocusPolicy(Qt::NoFocus);
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(15);
    Label1->setFont(font);
    QPalette palette = Label1->palette();
    palette.setColor(QPalette::WindowText, colorFromBgr(kMessageColour));
    Label1->setPalette(palette);
    Label1->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &CautionWindow::Timer1_Timer);
}

void CautionWindow::Form_Load() {
    MakeTopmost(this);

    if (const std::optional<QPoint> first = m_slide.start(screenTwips(), outerTwips()))
        moveFrameToTwips(*first);
    Timer1->setInterval(SlideAnimation::kIntervalMs);

    const Form* tray = m_context.registry.form(FormName::Tray);
    setWindowIcon(tray ? tray->windowIcon() : programIcon());

    // A missing file (or one standing as the re-centre marker for the moment) leaves both
    // texts empty; the reminder still slides.
    const ReminderFile file =
        readReminderFile(m_context.paths.dataFile(QStringLiteral("settings.ini")));
    const QString text1 = file.lines.value(0);
    const QString text2 = file.lines.value(1);
    setWindowTitle(text1);
    Label1->setText(text2);
}

void CautionWindow::Form_Unload(bool& cancel) {
    Q_UNUSED(cancel)
    Timer1->stop();
    // Closed by the user before the slide ended: the next showing rises from the bottom again.
    m_slide.stop();
}

void CautionWindow::Timer1_Timer() {
    const SlideAnimation::Tick tick =
        m_slide.tick(screenTwips(), outerTwips(), frameTopLeftTwips());
    if (tick.finished) {
        m_context.registry.unload(formName());
        return;
    }
    if (tick.position != frameTopLeftTwips())
        moveFrameToTwips(tick.position);
}

void CautionWindow::Form_MouseDown() {
    DragWindow(this);
}

void CautionWindow::Label1_MouseDown() {
    DragWindow(this);
}

bool CautionWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1 && event->type() == QEvent::MouseButtonPress) {
        Label1_MouseDown();
        return true;
    }
    return Form::eventFilter(watched, event);
}

void CautionWindow::mousePressEvent(QMouseEvent* event) {
    Form_MouseDown();
    event->accept();
}

void CautionWindow::showEvent(QShowEvent* event) {
    Form::showEvent(event);
    // The 20 ms timer runs only while there is something to slide.
    if (m_slide.isRunning())
        Timer1->start();
}

void CautionWindow::hideEvent(QHideEvent* event) {
    Timer1->stop();
    Form::hideEvent(event);
}

QRect CautionWindow::screenTwips() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    return {roundedTwipsX(area.x(), this), roundedTwipsY(area.y(), this),
            roundedTwipsX(area.width(), this), roundedTwipsY(area.height(), this)};
}

QSize CautionWindow::outerTwips() const {
    // Before the window manager has framed the window this is the client area; the frame is
    // known from the first ticks on, well before rising ends.
    const QSize outer = frameGeometry().size();
    return {roundedTwipsX(outer.width(), this), roundedTwipsY(outer.height(), this)};
}

QPoint CautionWindow::frameTopLeftTwips() const {
    const QPoint at = frameGeometry().topLeft();
    return {roundedTwipsX(at.x(), this), roundedTwipsY(at.y(), this)};
}

void CautionWindow::moveFrameToTwips(const QPoint& topLeft) {
    // A top-level's move() places its outer frame, as the slide wants.
    move(twips::toPixelsX(topLeft.x(), this), twips::toPixelsY(topLeft.y(), this));
}
