#include "about/about_window.h"

#include "forms/app_context.h"
#include "forms/program_icon.h"
#include "forms/twips_layout.h"
#include "forms/version.h"
#include "forms/window_registry.h"
#include "winutil/taskbar.h"
#include "winutil/twips.h"
#include "winutil/window_utils.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

namespace {

const QColor kLinkRest(0, 0, 255);
const QColor kLinkHover(255, 0, 0);

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace

QString AboutWindow::authorPage() {
    return QStringLiteral("http://dalvenor.example.org/");
}

AboutWindow::AboutWindow(AppContext& context, UrlOpener openUrl, QWidget* parent)
    : Form(context, kName, parent), m_openUrl(std::move(openUrl)) {
    setCentredWhenFirstShown(true);
    if (!m_openUrl)
        m_openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    // A fixed dialog frame without minimise or maximise button, and without a taskbar entry.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    HideFromTaskbar(this);
    setWindowTitle(QStringLiteral("关于我的应用程序"));
    setFixedSize(twips::toPixelsX(5715), twips::toPixelsY(3435));
    // Moves over the background restore the link's colour.
    setMouseTracking(true);

    cmdOK =
        twipslayout::add<QPushButton>(this, "cmdOK", 4200, 2880, 1260, 345, QStringLiteral("确定"));
    cmdOK->setDefault(true);
    // The button has no move handler: moving over it is not a move over the background.
    cmdOK->setAttribute(Qt::WA_NoMousePropagation);
    connect(cmdOK, &QPushButton::clicked, this, &AboutWindow::cmdOK_Click);

    picIcon =
        addLabel("picIcon", QString(), 120, 240, 810, 810, palette().color(QPalette::WindowText));
    // The picture is 50 x 50 pixels and the box sizes itself to it.
    picIcon->setPixmap(programIcon().pixmap(50, 50));
    picIcon->resize(50, 50);

    lblTitle =
        addLabel("lblTitle", QStringLiteral("Dalvenor"), 1200, 240, 3885, 360, QColor(255, 0, 0));
    lblVersion =
        addLabel("lblVersion", QStringLiteral("版本：" DALVENOR_VERSION " " DALVENOR_VERSION_STAGE),
                 1200, 720, 3885, 225, QColor(255, 0, 255));
    lblDescription =
        addLabel("lblDescription", QString(), 1200, 1080, 3885, 1290, QColor(0, 128, 0));
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // An etched separator: a grey line with a white one just below it.
    Line1_1 = addLine("Line1(1)", 90, 2445, 5654, 1, QColor(128, 128, 128));
    Line1_0 = addLine("Line1(0)", 105, 2460, 5654, 2, QColor(255, 255, 255));

    lblDisclaimer = addLabel(
        "lblDisclaimer", QStringLiteral("本软件为免费软件，可自由复制和分发，但不得用于商业用途。"),
        120, 2580, 3960, 480, QColor(0, 0, 0));
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label1 =
        addLabel("Label1", QStringLiteral("作者BLOG："), 360, 3120, 975, 255, QColor(0, 64, 0));
    Label2 = addLabel("Label2", QStringLiteral("Label2"), 1440, 3120, 1215, 255, kLinkRest);
    // The link follows the pointer itself and keeps its presses: pressing on it never drags.
    Label2->setMouseTracking(true);

    setTabOrder(cmdOK, cmdOK);
    cmdOK->setFocus();
}

QLabel* AboutWindow::addLabel(const char* name, const QString& text, double left, double top,
                              double width, double height, const QColor& colour) {
    auto* label = twipslayout::add<QLabel>(this, name, left, top, width, height, text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFocusPolicy(Qt::NoFocus);
    setTextColour(label, colour);
    // Each label answers the pointer itself, as its own surface: a move over another label
    // is not a move over the window's background, and presses are handled below.
    label->setAttribute(Qt::WA_NoMousePropagation);
    label->installEventFilter(this);
    return label;
}

QFrame* AboutWindow::addLine(const char* name, double left, double top, double right, int thickness,
                             const QColor& colour) {
    auto* line = new QFrame(this);
    line->setObjectName(QString::fromLatin1(name));
    const QRect span = twips::toPixels(left, top, right - left, 0);
    line->setGeometry(span.left(), span.top(), span.width(), thickness);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    // A line is drawn on the window, not a surface of its own: the pointer acts on the window.
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    return line;
}

void AboutWindow::Form_Load() {
    lblDescription->setText(
        QStringLiteral(
            "此软件由Tesmar制作，Tesmar也是一名高三学生，特意制作了这款软件以提醒高考的临近，"
            "祝广大高三学子在高考中都能取得好成绩。") +
        QStringLiteral("\n\n") + QStringLiteral("因为自己能力有限，软件若有什么BUG，欢迎告诉我。"));
    setWindowTitle(QStringLiteral("关于 Dalvenor"));
    const Form* tray = m_context.registry.form(FormName::Tray);
    setWindowIcon(tray ? tray->windowIcon() : programIcon());

    Label2->setText(authorPage());
    Label2->adjustSize();
    QFont font = Label2->font();
    font.setUnderline(true);
    Label2->setFont(font);
    Label2->adjustSize();
    setLinkColour(kLinkRest);
}

void AboutWindow::setLinkColour(const QColor& colour) {
    setTextColour(Label2, colour);
}

void AboutWindow::Label2_MouseMove() {
    Label2->setCursor(Qt::PointingHandCursor);
    setLinkColour(kLinkHover);
}

void AboutWindow::Form_MouseMove() {
    setLinkColour(kLinkRest);
    unsetCursor();
}

void AboutWindow::Label2_Click() {
    m_openUrl(QUrl(authorPage()));
}

void AboutWindow::cmdOK_Click() {
    m_context.registry.unload(formName());
}

void AboutWindow::Form_MouseDown() {
    DragWindow(this);
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label2) {
        switch (event->type()) {
        case QEvent::MouseMove:
            Label2_MouseMove();
            return false;
        case QEvent::MouseButtonPress:
            m_linkPressed = true;
            return true;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const bool click =
                m_linkPressed && Label2->rect().contains(mouse->position().toPoint());
            m_linkPressed = false;
            if (click)
                Label2_Click();
            return true;
        }
        default:
            return false;
        }
    }
    // lblTitle, lblVersion, lblDescription, picIcon, lblDisclaimer and Label1 drag the window.
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
        Form_MouseDown();
        return true;
    }
    return false;
}

void AboutWindow::mousePressEvent(QMouseEvent* event) {
    Form_MouseDown();
    event->accept();
}

void AboutWindow::mouseMoveEvent(QMouseEvent* event) {
    Form_MouseMove();
    event->accept();
}

void AboutWindow::keyPressEvent(QKeyEvent* event) {
    // The button is the window's default and its cancel button: Enter and Esc press it.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        cmdOK->click();
        event->accept();
        return;
    default:
        Form::keyPressEvent(event);
    }
}
