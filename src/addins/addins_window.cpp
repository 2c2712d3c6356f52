#include "addins/addins_window.h"

#include "addins/lunar_calendar.h"
#include "addins/lunar_calendar_widget.h"
#include "addins/reminder_page.h"
#include "addins/version_notes.h"
#include "forms/app_context.h"
#include "forms/clock.h"
#include "forms/heartbeat.h"
#include "forms/message_box.h"
#include "forms/program_icon.h"
#include "forms/tray_notifier.h"
#include "forms/window_registry.h"
#include "settings/countdown_date.h"
#include "settings/data_files.h"
#include "settings/data_paths.h"
#include "settings/text_file.h"
#include "winutil/twips.h"
#include "winutil/window_utils.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWindow>

#include <memory>

namespace {

// The window's client area and the design's tab control, in twips.
constexpr double kClientWidth = 6390;
constexpr double kClientHeight = 3615;

const QColor kNotesBackground(0, 0, 0);
const QColor kNotesText(0, 255, 0);
const QColor kDarkGreen(0, 64, 0);

QString stopCaption() {
    return QStringLiteral("停止");
}
QString restartCaption() {
    return QStringLiteral("重新开始");
}

// The system's long time format without the time zone, which would not fit the frame.
QString timeOfDayText(const QTime& time) {
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b\\s*")));
    return locale.toString(time, format.trimmed());
}

std::optional<int> measureNotes(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    const QRect bounds = metrics.boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop, text);
    if (bounds.height() <= 0)
        return std::nullopt;
    return bounds.height();
}

// The version notes as drawn: one text line per line (the stored text ends its lines CR LF).
QString notesForDrawing() {
    QString text = versionnotes::text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

} // namespace

// Picmain: the black box in which the version notes scroll.
class VersionNotesBox final : public QWidget {
public:
    VersionNotesBox(AddinsWindow* window, QWidget* parent) : QWidget(parent), m_window(window) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override { m_window->paintNotes(this); }

private:
    AddinsWindow* m_window;
};

AddinsWindow::AddinsWindow(AppContext& context, QWidget* parent)
    : Form(context, kName, parent), m_measureText(measureNotes),
      m_drag([](QWidget* window) { DragWindow(window); }) {
    setCentredWhenFirstShown(true);
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    m_monotonic = [elapsed] { return elapsed->elapsed(); };

    // Fixed single border with a minimise button and no maximise button, in the taskbar.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips::toPixelsX(kClientWidth), twips::toPixelsY(kClientHeight));

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->setGeometry(rect());
    const QString captions[5] = {QStringLiteral("小日历"), QStringLiteral("定时关机"),
                                 QStringLiteral("版本说明"), QStringLiteral("提醒窗口"),
                                 QStringLiteral("自定义倒计时")};
    for (int i = 0; i < 5; ++i) {
        // Controls are placed in the tab control's own coordinates, tab row included, as the
        // design gives them; each page holds a canvas the size of the tab control, moved up
        // and left by wherever the tab control puts its pages.
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("SSTab1_Tab%1").arg(i));
        auto* canvas = new QWidget(page);
        canvas->setObjectName(QStringLiteral("SSTab1_Canvas%1").arg(i));
        canvas->resize(SSTab1->size());
        tabPages[i] = canvas;
        SSTab1->addTab(page, captions[i]);
        addDragSurface(page);
    }
    // The empty part of the tab row belongs to the tab control's body too.
    addDragSurface(SSTab1);
    if (auto* stack = SSTab1->findChild<QStackedWidget*>())
        stack->installEventFilter(this);

    buildCalendarTab(tabPages[0]);
    buildPowerTab(tabPages[1]);
    buildNotesTab(tabPages[2]);
    buildReminderTab(tabPages[3]);
    buildCountdownTab(tabPages[4]);
    SSTab1->setCurrentIndex(0);

    m_scrollTimer.setSingleShot(true);
    // Each step must come more than 24 ms after the previous one: a coarse timer firing early
    // would only cost a second wake-up.
    m_scrollTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_scrollTimer, &QTimer::timeout, this, &AddinsWindow::ScrollTimer_Timer);

    connect(&m_context.heartbeat, &Heartbeat::second, this, &AddinsWindow::heartbeatSecond);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &AddinsWindow::focusWindowChanged);
}

AddinsWindow::~AddinsWindow() = default;

// ---------------------------------------------------------------------------------------------
// Building the window

QLabel* AddinsWindow::addLabel(QWidget* parent, const char* name, const QString& text, double left,
                               double top, double width, double height) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(twips::toPixels(left, top, width, height));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Labels lie under the boxes and buttons they touch, so they never take their clicks.
    label->lower();
    return label;
}

QLineEdit* AddinsWindow::addTextBox(QWidget* parent, const char* name, double left, double top,
                                    double width, double height) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(twips::toPixels(left, top, width, height));
    return box;
}

QComboBox* AddinsWindow::addCombo(QWidget* parent, const char* name, double left, double top) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setGeometry(twips::toPixels(left, top, 735, 300));
    return combo;
}

QPushButton* AddinsWindow::addButton(QWidget* parent, const char* name, const QString& text,
                                     double left, double top, double width, double height) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(twips::toPixels(left, top, width, height));
    return button;
}

void AddinsWindow::addDragSurface(QWidget* surface) {
    surface->installEventFilter(this);
}

void AddinsWindow::buildCalendarTab(QWidget* page) {
    MonthView1 = new LunarCalendarWidget(page);
    MonthView1->setObjectName(QStringLiteral("MonthView1"));
    MonthView1->setGeometry(twips::toPixels(1163, 697, 4065, 2220));
    MonthView1->setDateRange(QDate(1753, 1, 1), QDate(9999, 12, 31));
    MonthView1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    // Month and day names in Chinese like every other text of the program, whatever the
    // desktop's language.
    MonthView1->setLocale(QLocale(QLocale::Chinese, QLocale::China));
    MonthView1->setDescriber([this](QDate day) { return lunarLine(day); });
    // The calendar is for looking up dates: a press on it never drags the window.
    MonthView1->setAttribute(Qt::WA_NoMousePropagation);
    connect(MonthView1, &QCalendarWidget::selectionChanged, this,
            &AddinsWindow::MonthView1_SelectionChanged);

    // The Chinese calendar line of the selected day, under the calendar.
    LabLunar = new QLabel(page);
    LabLunar->setObjectName(QStringLiteral("LabLunar"));
    LabLunar->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

void AddinsWindow::buildPowerTab(QWidget* page) {
    Frame1 = new QGroupBox(page);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twips::toPixels(368, 600, 5655, 1695));
    addDragSurface(Frame1);

    Option1 = new QRadioButton(QStringLiteral("方式一"), Frame1);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setGeometry(twips::toPixels(240, 360, 855, 255));
    Option1->setChecked(true);
    CBoxHour = addCombo(Frame1, "CBoxHour", 1200, 360);
    Label1 = addLabel(Frame1, "Label1", QStringLiteral("："), 1920, 400, 255, 255);
    CBoxMin = addCombo(Frame1, "CBoxMin", 2160, 360);
    Label2 = addLabel(Frame1, "Label2", QStringLiteral("："), 2880, 400, 255, 255);
    CBoxSec = addCombo(Frame1, "CBoxSec", 3240, 360);
    Label3 = addLabel(Frame1, "Label3", QStringLiteral("时"), 4320, 405, 255, 255);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Combo4 = addCombo(Frame1, "Combo4", 4680, 360);

    Option2 = new QRadioButton(QStringLiteral("方式二"), Frame1);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option2->setGeometry(twips::toPixels(240, 960, 855, 255));
    TextHour = addTextBox(Frame1, "TextHour", 1200, 960, 450, 270);
    Label4 = addLabel(Frame1, "Label4", QStringLiteral("时"), 1920, 990, 255, 255);
    TextMin = addTextBox(Frame1, "TextMin", 2280, 960, 450, 270);
    Label5 = addLabel(Frame1, "Label5", QStringLiteral("分"), 2880, 990, 255, 255);
    TextSec = addTextBox(Frame1, "TextSec", 3240, 960, 450, 270);
    Label6 = addLabel(Frame1, "Label6", QStringLiteral("秒"), 3960, 990, 255, 255);
    Label7 = addLabel(Frame1, "Label7", QStringLiteral("后"), 4320, 990, 255, 255);
    Label7->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Combo5 = addCombo(Frame1, "Combo5", 4680, 960);
    for (QLineEdit* box : {TextHour, TextMin, TextSec}) {
        box->setText(QStringLiteral("0"));
        box->setMaxLength(2);
        box->installEventFilter(this);
    }
    // The labels between the boxes are not drag surfaces: their presses stop here.
    for (QLabel* label : {Label1, Label2, Label3, Label4, Label5, Label6, Label7})
        label->setAttribute(Qt::WA_NoMousePropagation);

    LabInformation = addLabel(page, "LabInformation", QString(), 360, 2400, 5655, 375);
    Label8 = addLabel(page, "Label8", QString(), 1440, 2280, 3375, 735);
    addDragSurface(LabInformation);
    addDragSurface(Label8);
    CmdStart = addButton(page, "CmdStart", QStringLiteral("开始执行"), 2408, 2760, 1575, 495);

    connect(Option1, &QRadioButton::clicked, this, &AddinsWindow::Option1_Click);
    connect(Option2, &QRadioButton::clicked, this, &AddinsWindow::Option2_Click);
    connect(CmdStart, &QPushButton::clicked, this, &AddinsWindow::CmdStart_Click);
    for (QLineEdit* box : {TextHour, TextMin, TextSec}) {
        // Typing allows two characters; a normalised count may hold more ("100" hours) and
        // must not be cut when written back, so the limit follows what the box holds.
        connect(box, &QLineEdit::textEdited, box,
                [box] { box->setMaxLength(std::max<int>(2, box->text().size())); });
    }
}

void AddinsWindow::buildNotesTab(QWidget* page) {
    Picmain = new VersionNotesBox(this, page);
    Picmain->setObjectName(QStringLiteral("Picmain"));
    Picmain->setGeometry(twips::toPixels(0, 360, 6375, 2655));
    addDragSurface(Picmain);
    Command1 = addButton(page, "Command1", stopCaption(), 2588, 3120, 1215, 375);
    connect(Command1, &QPushButton::clicked, this, &AddinsWindow::Command1_Click);
}

void AddinsWindow::buildReminderTab(QWidget* page) {
    Label13 = addLabel(page, "Label13",
                       QStringLiteral("每隔一段时间弹出一个窗口，提醒你，是学习的时候了"), 908, 480,
                       4575, 495);
    Label13->setAlignment(Qt::AlignCenter);
    Label13->setWordWrap(true);
    QFont bold(QStringLiteral("宋体"));
    bold.setPointSizeF(12);
    bold.setBold(true);
    Label13->setFont(bold);
    QPalette palette = Label13->palette();
    palette.setColor(QPalette::WindowText, kDarkGreen);
    Label13->setPalette(palette);

    Label9 = addLabel(page, "Label9", QStringLiteral("提醒窗口标题"), 120, 1080, 1215, 375);
    QFont label9Font(QStringLiteral("宋体"));
    label9Font.setPointSizeF(9.75);
    Label9->setFont(label9Font);
    Text1 = addTextBox(page, "Text1", 1440, 1080, 4695, 375);
    Label10 = addLabel(page, "Label10", QStringLiteral("提醒窗口内容"), 120, 1680, 1215, 255);
    Text2 = addTextBox(page, "Text2", 1440, 1680, 4695, 375);
    Label11 = addLabel(page, "Label11", QStringLiteral("提醒窗口每隔"), 120, 2280, 1215, 255);
    Text3 = addTextBox(page, "Text3", 1440, 2280, 855, 350);
    Label12 = addLabel(page, "Label12", QStringLiteral("分钟 显示一次"), 2400, 2280, 1335, 255);
    Command2 = addButton(page, "Command2", QStringLiteral("确认"), 2468, 2880, 1455, 495);
    // Over the heading's place, as wide as the boxes reach: a path needs the room.
    LabReminderProblem = addLabel(page, "LabReminderProblem", QString(), 120, 60, 6015, 975);
    LabReminderProblem->setWordWrap(true);
    LabReminderProblem->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette problemPalette = LabReminderProblem->palette();
    problemPalette.setColor(QPalette::WindowText, QColor(0xC0, 0, 0));
    LabReminderProblem->setPalette(problemPalette);
    LabReminderProblem->hide();
    for (QLabel* label : {Label9, Label10, Label11, Label12, Label13})
        addDragSurface(label);
    connect(Command2, &QPushButton::clicked, this, &AddinsWindow::Command2_Click);
}

void AddinsWindow::buildCountdownTab(QWidget* page) {
    Label14 = addLabel(page, "Label14", QStringLiteral("倒计时第一行显示"), 240, 600, 1455, 255);
    Text4 = addTextBox(page, "Text4", 1800, 480, 3975, 375);
    Label15 = addLabel(page, "Label15", QStringLiteral("倒计时第二行显示"), 240, 1080, 1455, 255);
    Text5 = addTextBox(page, "Text5", 1800, 1080, 3975, 375);
    Label16 = addLabel(page, "Label16", QStringLiteral("自定义倒计时时间"), 240, 1800, 1455, 255);
    Text6 = addTextBox(page, "Text6", 1800, 1680, 1695, 375);
    Text7 = addTextBox(page, "Text7", 3960, 1680, 1815, 375);
    // The rule line gives only the labels' left edges; their widths hold their texts.
    Label17 = addLabel(page, "Label17", QStringLiteral("规则："), 1080, 2280, 720, 255);
    Label17->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label18 = addLabel(page, "Label18", QStringLiteral("月/日/年"), 2160, 2280, 1455, 255);
    Label19 =
        addLabel(page, "Label19", QStringLiteral("00:00:00 AM/00:00:00 PM"), 3840, 2280, 2475, 255);
    Command3 = addButton(page, "Command3", QStringLiteral("确认"), 2400, 2880, 1455, 495);
    for (QLabel* label : {Label14, Label15, Label16, Label17, Label18, Label19})
        addDragSurface(label);
    connect(Command3, &QPushButton::clicked, this, &AddinsWindow::Command3_Click);
}

// ---------------------------------------------------------------------------------------------
// Load, unload, activation

void AddinsWindow::Form_Load() {
    // 1. Caption and icon.
    setWindowTitle(QStringLiteral("附加功能"));
    const Form* tray = m_context.registry.form(FormName::Tray);
    setWindowIcon(tray ? tray->windowIcon() : programIcon());

    // 2. The version notes: green on black, 12 point, 楷体 on every current system.
    QFont notesFont = Picmain->font();
    if (IsVistaSystem())
        notesFont.setFamily(QStringLiteral("楷体"));
    notesFont.setPointSizeF(12);
    Picmain->setFont(notesFont);

    // 3.–5. The power action's lists and their first items.
    for (int i = 0; i <= 59; ++i) {
        if (i <= 23)
            CBoxHour->addItem(QString::number(i));
        CBoxMin->addItem(QString::number(i));
        CBoxSec->addItem(QString::number(i));
    }
    Combo4->addItems({QStringLiteral("关机"), QStringLiteral("注销")});
    Combo5->addItems({QStringLiteral("关机"), QStringLiteral("重启"), QStringLiteral("注销")});
    for (QComboBox* combo : {CBoxHour, CBoxMin, CBoxSec, Combo4, Combo5})
        combo->setCurrentIndex(0);
    Combo5->setEnabled(false);

    // 6. The custom countdown; a missing file leaves the boxes empty.
    const CountdownFile countdown =
        readCountdownFile(m_context.paths.dataFile(QStringLiteral("countdown.ini")));
    QLineEdit* const countdownBoxes[] = {Text4, Text5, Text6, Text7};
    for (int i = 0; i < 4; ++i)
        countdownBoxes[i]->setText(countdown.lines.value(i));
    m_targetDate = countdown::parseDate(Text6->text());

    // 7. The reminder's settings.
    const ReminderFile reminder =
        readReminderFile(m_context.paths.dataFile(QStringLiteral("settings.ini")));
    QLineEdit* const reminderBoxes[] = {Text1, Text2, Text3};
    for (int i = 0; i < 3; ++i)
        reminderBoxes[i]->setText(reminder.lines.value(i));
    // Three empty boxes alone would look like settings never made.
    m_reminderReadStatus = reminder.status;
    if (reminderpage::isReadProblem(reminder.status))
        showReminderProblem(reminder.error);

    // 8. The calendar, opened on today.
    const QDate today = m_context.clock.now().date();
    MonthView1->setToday(today);
    MonthView1->setSelectedDate(today);
    MonthView1->setCurrentPage(today.year(), today.month());
    centreCalendar();
    MonthView1_SelectionChanged();
}

void AddinsWindow::centreCalendar() {
    // Centred in the window, 80 twips above the middle; the canvas shares the window's
    // coordinates, since the tab control fills the window from its corner.
    const int left = (width() - MonthView1->width()) / 2;
    const int top = (height() - MonthView1->height()) / 2 - twips::toPixelsY(80, this);
    MonthView1->move(left, top);
    const int lineHeight = LabLunar->fontMetrics().height() + 2;
    LabLunar->setGeometry(0, MonthView1->geometry().bottom() + 3, width(), lineHeight);
}

void AddinsWindow::Form_Unload(bool& cancel) {
    // One window for the program's life: it only disappears, and its timers go on.
    cancel = true;
    m_scroll.stop();
    m_scrollTimer.stop();
    hide();
}

void AddinsWindow::Form_Activate() {
    // Back from another window of the program: the notes start again from below, unless the
    // user froze them with 停止.
    if (!m_scroll.isStopped())
        ScrollVersionNotes();
}

void AddinsWindow::Form_MouseDown() {
    m_drag(this);
}

bool AddinsWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (watched->isWidgetType() && watched != TextHour && watched != TextMin &&
            watched != TextSec && watched != SSTab1->findChild<QStackedWidget*>()) {
            Form_MouseDown();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (watched == TextHour || watched == TextMin || watched == TextSec)
            return TextTime_KeyPress(static_cast<QLineEdit*>(watched),
                                     static_cast<QKeyEvent*>(event));
        break;
    case QEvent::Move:
    case QEvent::Resize:
        if (auto* stack = qobject_cast<QStackedWidget*>(watched)) {
            // Pages start below the tab row: keep the canvases on the tab control's origin.
            for (QWidget* canvas : tabPages)
                canvas->move(-stack->pos());
        }
        break;
    default:
        break;
    }
    return Form::eventFilter(watched, event);
}

void AddinsWindow::showEvent(QShowEvent* event) {
    Form::showEvent(event);
    refreshFrameCaption(m_context.clock.now());
    // Shown (again): the notes scroll afresh from below the box, and the button says so.
    Command1->setText(stopCaption());
    ScrollVersionNotes();
    activateWindow();
}

void AddinsWindow::hideEvent(QHideEvent* event) {
    Form::hideEvent(event);
    // Nobody sees the notes: no wake-ups until the window shows again.
    m_scrollTimer.stop();
}

void AddinsWindow::changeEvent(QEvent* event) {
    Form::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        if (isMinimized())
            m_scrollTimer.stop();
        else
            Form_Activate();
    }
}

bool AddinsWindow::isOwnWindow(const QWindow* window) const {
    return window && window == windowHandle();
}

void AddinsWindow::focusWindowChanged(QWindow* focus) {
    // Only a return from another window of this program counts as becoming active again; a
    // return from another program does not (its windows are no focus window of ours).
    const bool fromOtherWindow = m_lastFocus && !isOwnWindow(m_lastFocus);
    m_lastFocus = focus;
    if (isOwnWindow(focus) && fromOtherWindow && isVisible())
        Form_Activate();
}

void AddinsWindow::heartbeatSecond(const QDateTime& now) {
    Timer1_Timer(now);
    Timer2_Timer(now);
    Timer3_Timer(now);
    Timer4_Timer(now);
}

// ---------------------------------------------------------------------------------------------
// Tab 0 "小日历"

QString AddinsWindow::lunarLine(QDate day) const {
    return lunar::describeDay(day, m_targetDate);
}

void AddinsWindow::MonthView1_SelectionChanged() {
    LabLunar->setText(lunarLine(MonthView1->selectedDate()));
}

// ---------------------------------------------------------------------------------------------
// Tab 1 "定时关机"

void AddinsWindow::Timer1_Timer(const QDateTime& now) {
    // Hidden, the caption need not follow the clock: showing the window sets it at once.
    if (isVisible())
        refreshFrameCaption(now);
    // The new day moves the calendar's mark for today.
    MonthView1->setToday(now.date());
}

void AddinsWindow::refreshFrameCaption(const QDateTime& now) {
    Frame1->setTitle(QStringLiteral("当前的系统时间为：") + timeOfDayText(now.time()));
}

// Timer2 (方式一) and Timer3 (方式二) are "enabled" while the plan is armed in their mode; both
// run on the program's one second, and 方式二 counts the seconds that really passed.
void AddinsWindow::Timer2_Timer(const QDateTime& now) {
    if (m_plan.mode() == power::PowerPlan::Mode::TimeOfDay)
        powerTick(now);
}

void AddinsWindow::Timer3_Timer(const QDateTime& now) {
    if (m_plan.mode() == power::PowerPlan::Mode::Countdown)
        powerTick(now);
}

void AddinsWindow::powerTick(const QDateTime& now) {
    const power::TickResult result = m_plan.tick(now, m_monotonic());
    if (result.request != PowerAction::None) {
        // Always with the force flag; the answer comes later and only a failure is said.
        if (m_power)
            m_power->request(result.request, true);
        else
            powerRequestFinished(0, result.request,
                                 requestErrorText(result.request, QString(),
                                                  QStringLiteral("此系统没有可用的电源服务。")));
    }
    if (!result.warning.isEmpty())
        m_context.notifier.showMessage(QStringLiteral("Dalvenor"), result.warning);
    showPowerState(result.status, result.toolTip);
}

void AddinsWindow::CmdStart_Click() {
    if (m_plan.isArmed()) {
        m_plan.disarm();
        m_availabilityQuery = 0;
        Frame1->setEnabled(true);
        CmdStart->setText(QStringLiteral("开始执行"));
        showPowerState(QString(), m_plan.toolTip());
        return;
    }
    Frame1->setEnabled(false);
    const QDateTime now = m_context.clock.now();
    power::ArmResult result;
    if (Option1->isChecked()) {
        result = m_plan.armTimeOfDay(CBoxHour->currentText(), CBoxMin->currentText(),
                                     CBoxSec->currentText(), Combo4->currentText(), now);
    } else {
        result = m_plan.armCountdown(TextHour->text(), TextMin->text(), TextSec->text(),
                                     Combo5->currentText(), now, m_monotonic());
        if (result.armed) {
            const std::pair<QLineEdit*, QString> normalised[] = {{TextHour, result.hourText},
                                                                 {TextMin, result.minuteText},
                                                                 {TextSec, result.secondText}};
            for (const auto& [box, text] : normalised) {
                box->setMaxLength(std::max<int>(2, text.size()));
                box->setText(text);
            }
        }
    }
    if (!result.armed) {
        // Nothing is armed on a text that is not a number: say which field, and let it be put
        // right.
        Frame1->setEnabled(true);
        MessageBox::warning(this, windowTitle(), result.error);
        return;
    }
    CmdStart->setText(QStringLiteral("停止执行"));
    // Ask the system now whether it will allow the action, so that a "no" is known before the
    // moment comes; the answer adds a line to the status.
    const PowerAction action = m_plan.action();
    if (action != PowerAction::None) {
        if (m_power)
            m_availabilityQuery = m_power->query(action);
        else
            m_plan.setAvailabilityNote(availabilityNote(action, QStringLiteral("na")));
    }
    showPowerState(m_plan.statusText(), m_plan.toolTip());
    if (!result.warning.isEmpty())
        m_context.notifier.showMessage(QStringLiteral("Dalvenor"), result.warning);
}

void AddinsWindow::showPowerState(const QString& status, const QString& toolTip) {
    LabInformation->setText(status);
    if (toolTip != m_toolTip) {
        m_toolTip = toolTip;
        m_context.notifier.setToolTip(toolTip);
    }
}

void AddinsWindow::powerQueryAnswered(quint64 id, PowerAction action, const QString& note) {
    // An answer for an earlier arming, or one that came after disarming, says nothing now.
    if (id != m_availabilityQuery || !m_plan.isArmed() || action != m_plan.action())
        return;
    m_plan.setAvailabilityNote(note);
    LabInformation->setText(m_plan.statusText());
}

void AddinsWindow::powerRequestFinished(quint64 id, PowerAction action, const QString& error) {
    Q_UNUSED(id)
    Q_UNUSED(action)
    // The plan stays armed: the user sees why nothing happened and may disarm.
    if (!error.isEmpty())
        m_context.notifier.showMessage(QStringLiteral("Dalvenor"), error);
}

void AddinsWindow::setPowerBackend(std::unique_ptr<PowerBackend> backend) {
    m_power = std::move(backend);
    if (!m_power)
        return;
    connect(m_power.get(), &PowerBackend::queryAnswered, this, &AddinsWindow::powerQueryAnswered);
    connect(m_power.get(), &PowerBackend::requestFinished, this,
            &AddinsWindow::powerRequestFinished);
}

void AddinsWindow::Option1_Click() {
    for (QWidget* input : std::initializer_list<QWidget*>{CBoxHour, CBoxMin, CBoxSec, Combo4})
        input->setEnabled(true);
    for (QWidget* input : std::initializer_list<QWidget*>{TextHour, TextMin, TextSec, Combo5})
        input->setEnabled(false);
}

void AddinsWindow::Option2_Click() {
    for (QWidget* input : std::initializer_list<QWidget*>{CBoxHour, CBoxMin, CBoxSec, Combo4})
        input->setEnabled(false);
    for (QWidget* input : std::initializer_list<QWidget*>{TextHour, TextMin, TextSec, Combo5})
        input->setEnabled(true);
}

// Only a key that types a character is judged: digits and backspace are kept, any other
// character is discarded. Arrows, Delete, Tab and shortcuts (Ctrl+V among them) type none
// and keep working; pasted text is judged at arming.
bool AddinsWindow::TextTime_KeyPress(QLineEdit* box, QKeyEvent* event) {
    Q_UNUSED(box)
    const QString text = event->text();
    if (text.isEmpty() || (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        return false;
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        const bool control = code < 0x20 || code == 0x7f;
        if (control && code != 8)
            return false;
        if (!power::isCountdownBoxKey(code))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Tab 2 "版本说明"

void AddinsWindow::Command1_Click() {
    if (m_scroll.isStopped()) {
        Command1->setText(stopCaption());
        ScrollVersionNotes();
    } else {
        Command1->setText(restartCaption());
        m_scroll.stop();
        m_scrollTimer.stop();
    }
}

void AddinsWindow::ScrollVersionNotes() {
    Picmain->update();
    const std::optional<int> height = m_measureText(Picmain->font(), notesForDrawing());
    if (!height) {
        m_scroll.stop();
        m_scrollTimer.stop();
        Command1->setText(restartCaption());
        MessageBox::warning(this, QCoreApplication::applicationName(), QStringLiteral("出错"));
        return;
    }
    m_scroll.setBox(Picmain->width(), Picmain->height());
    m_scroll.setTextHeight(*height);
    prepareNotesImage();
    m_scroll.restart();
    scheduleNextStep();
}

void AddinsWindow::ScrollTimer_Timer() {
    if (!isOnScreen()) {
        m_scrollTimer.stop();
        return;
    }
    if (m_scroll.step(m_monotonic()))
        Picmain->update();
    scheduleNextStep();
}

void AddinsWindow::scheduleNextStep() {
    const qint64 wait = m_scroll.msUntilNextStep(m_monotonic());
    if (wait < 0 || !isOnScreen()) {
        m_scrollTimer.stop();
        return;
    }
    m_scrollTimer.start(std::chrono::milliseconds(wait));
}

bool AddinsWindow::isOnScreen() const {
    return isVisible() && !isMinimized();
}

void AddinsWindow::prepareNotesImage() {
    // The text is laid out once; each step only moves the finished image.
    const qreal ratio = devicePixelRatioF();
    const QSize size(Picmain->width(), m_scroll.textHeight());
    if (size.isEmpty()) {
        m_notesImage = QPixmap();
        return;
    }
    m_notesImage = QPixmap(size * ratio);
    m_notesImage.setDevicePixelRatio(ratio);
    m_notesImage.fill(kNotesBackground);
    QPainter painter(&m_notesImage);
    painter.setFont(Picmain->font());
    painter.setPen(kNotesText);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     notesForDrawing());
}

void AddinsWindow::paintNotes(QWidget* box) {
    QPainter painter(box);
    painter.fillRect(box->rect(), kNotesBackground);
    if (!m_notesImage.isNull())
        painter.drawPixmap(m_scroll.frameRect().topLeft(), m_notesImage);
}

// ---------------------------------------------------------------------------------------------
// Tab 3 "提醒窗口"

void AddinsWindow::showReminderProblem(const QString& reason) {
    m_reminderProblem = reason;
    // The page has room for a few lines: the file's name stands for its whole path there,
    // and the tooltip and the box at "确认" give the path whole.
    const QString path = m_context.paths.dataFile(QStringLiteral("settings.ini"));
    QString shortReason = reason;
    shortReason.replace(path, QFileInfo(path).fileName());
    const QString notice = reminderpage::pageNotice(shortReason);
    LabReminderProblem->setText(notice);
    LabReminderProblem->setToolTip(reminderpage::pageNotice(reason));
    LabReminderProblem->setAccessibleName(notice);
    LabReminderProblem->show();
    Label13->hide();
}

void AddinsWindow::Command2_Click() {
    const QStringList lines = {Text1->text(), Text2->text(), Text3->text()};
    const QString path = m_context.paths.dataFile(QStringLiteral("settings.ini"));
    // What could not be read is not replaced unasked: the boxes do not hold its content.
    const ReminderFile current = readReminderFile(path);
    const QString reason =
        reminderpage::isReadProblem(current.status) ? current.error : m_reminderProblem;
    switch (reminderpage::saveDecision(m_reminderReadStatus, current.status)) {
    case reminderpage::SaveDecision::Save:
        break;
    case reminderpage::SaveDecision::Refuse:
        showReminderProblem(current.error);
        MessageBox::warning(this, windowTitle(), reminderpage::refusal(current.error));
        return;
    case reminderpage::SaveDecision::AskFirst:
        if (reminderpage::isReadProblem(current.status))
            showReminderProblem(current.error);
        if (MessageBox::warning(this, windowTitle(), reminderpage::overwriteQuestion(reason),
                                QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        break;
    }
    // A failed save has said so; the window stays open with what was typed and the reminder
    // does not start on settings that are not on disk.
    if (!writeTextFile(path, lines))
        return;
    // What is on disk now is what the page shows.
    m_reminderReadStatus = textfile::ReadStatus::Ok;
    m_reminderProblem.clear();
    LabReminderProblem->hide();
    Label13->show();
    if (!reminderpage::keepSavedSettingsOverMarker(m_context.paths.dataDir())) {
        MessageBox::warning(this, windowTitle(),
                            QStringLiteral("提醒设置已保存，但旧的“setting.ini”无法更新，"
                                           "倒计时窗口下次载入时可能恢复为旧的提醒设置。"));
    }
    // The texts are kept whatever the interval; an interval that can never come is said
    // plainly instead of a reminder that silently never pops up.
    const QString problem = reminder::intervalMessage(Text3->text());
    if (!problem.isEmpty())
        MessageBox::warning(this, windowTitle(), problem);
    m_reminder.confirm();
    hide();
}

// The reminder counts its minutes on the program's second (Timer4 adds no wake-up of its own);
// Text3 is read at every minute, so an edit counts without pressing "确认" again.
void AddinsWindow::Timer4_Timer(const QDateTime& now) {
    Q_UNUSED(now)
    if (m_reminder.onSecond(Text3->text()))
        m_context.registry.show(FormName::Caution);
}

// ---------------------------------------------------------------------------------------------
// Tab 4 "自定义倒计时"

void AddinsWindow::Command3_Click() {
    const QStringList lines = {Text4->text(), Text5->text(), Text6->text(), Text7->text()};
    if (!writeTextFile(m_context.paths.dataFile(QStringLiteral("countdown.ini")), lines))
        return;
    m_targetDate = countdown::parseDate(Text6->text());
    MonthView1_SelectionChanged();
    hide();
    // The countdown reads the new file in its load steps.
    m_context.registry.unload(FormName::Main);
    m_context.registry.show(FormName::Main);
}

// ---------------------------------------------------------------------------------------------
// Shared

bool AddinsWindow::writeTextFile(const QString& path, const QStringList& lines) {
    QString error;
    if (textfile::writeLines(path, lines, &error))
        return true;
    MessageBox::warning(this, windowTitle(),
                        error +
                            QStringLiteral("\n\n原来的文件没有改动，输入的内容仍保留在窗口中。"));
    return false;
}

void AddinsWindow::setMonotonicClock(MonotonicClock clock) {
    m_monotonic = std::move(clock);
}

void AddinsWindow::setTextMeasurer(TextMeasurer measurer) {
    m_measureText = std::move(measurer);
}

void AddinsWindow::setDragHandler(DragHandler drag) {
    m_drag = std::move(drag);
}
