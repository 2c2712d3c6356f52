#include "addins/addins_window.h"

#include "addins/calendar_page.h"
#include "addins/custom_countdown_page.h"
#include "addins/power_action_page.h"
#include "addins/reminder_settings_page.h"
#include "addins/version_notes_page.h"
#include "forms/app_context.h"
#include "forms/clock.h"
#include "forms/heartbeat.h"
#include "forms/program_icon.h"
#include "forms/window_registry.h"
#include "winutil/twips.h"
#include "winutil/window_utils.h"

#include <QBackingStore>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHideEvent>
#include <QPixmapCache>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

namespace {

// The window's client area, which the tab control fills, in twips.
constexpr double kClientWidth = 6390;
constexpr double kClientHeight = 3615;

} // namespace

AddinsWindow::AddinsWindow(AppContext& context, QWidget* parent)
    : Form(context, kName, parent), m_drag([](QWidget* window) { DragWindow(window); }) {
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

    // The pages read the window's monotonic clock at each use, so a test's clock given later
    // still reaches them.
    const AddinsPage::MonotonicClock monotonic = [this] { return m_monotonic(); };
    m_calendar = addPage<CalendarPage>(QStringLiteral("小日历"));
    m_powerAction = addPage<PowerActionPage>(QStringLiteral("定时关机"), monotonic);
    m_versionNotes = addPage<VersionNotesPage>(QStringLiteral("版本说明"), monotonic);
    m_reminderSettings = addPage<ReminderSettingsPage>(QStringLiteral("提醒窗口"));
    m_customCountdown = addPage<CustomCountdownPage>(QStringLiteral("自定义倒计时"));
    SSTab1->setCurrentIndex(0);

    // The empty part of the tab row belongs to the tab control's body too.
    SSTab1->installEventFilter(this);
    m_stack = SSTab1->findChild<QStackedWidget*>();
    if (m_stack)
        m_stack->installEventFilter(this);

    connect(m_customCountdown, &CustomCountdownPage::targetDateSaved, m_calendar,
            &CalendarPage::setTargetDate);
    connect(&m_context.heartbeat, &Heartbeat::second, this, &AddinsWindow::heartbeatSecond);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &AddinsWindow::focusWindowChanged);
}

AddinsWindow::~AddinsWindow() = default;

template <class Page, class... Args>
Page* AddinsWindow::addPage(const QString& caption, Args&&... args) {
    // Controls are placed in the tab control's own coordinates, tab row included, as the
    // design gives them; each tab holds a page the size of the tab control, moved up and left
    // by wherever the tab control puts its pages.
    const int index = SSTab1->count();
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("SSTab1_Tab%1").arg(index));
    auto* page = new Page(m_context, std::forward<Args>(args)..., tab);
    page->setObjectName(QStringLiteral("SSTab1_Canvas%1").arg(index));
    page->resize(SSTab1->size());
    m_canvases.append(page);
    SSTab1->addTab(tab, caption);
    // A press on the page where it has no control of its own reaches the tab and drags.
    tab->installEventFilter(this);
    connect(page, &AddinsPage::dragRequested, this, &AddinsWindow::Form_MouseDown);
    return page;
}

// ---------------------------------------------------------------------------------------------
// Load, unload, activation

void AddinsWindow::Form_Load() {
    // 1. Caption and icon.
    setWindowTitle(QStringLiteral("附加功能"));
    const Form* tray = m_context.registry.form(FormName::Tray);
    setWindowIcon(tray ? tray->windowIcon() : programIcon());

    // 2. The version notes' font.
    m_versionNotes->setNotesFont();
    // 3.–5. The power action's lists and their first items.
    m_powerAction->fillLists();
    // 6. The custom countdown; its date is the calendar's target.
    m_customCountdown->load();
    m_calendar->setTargetDate(m_customCountdown->targetDate());
    // 7. The reminder's settings.
    m_reminderSettings->load();
    // 8. The calendar, opened on today.
    m_calendar->openOn(m_context.clock.now().date(), size());
}

void AddinsWindow::Form_Unload(bool& cancel) {
    // One window for the program's life: it only disappears, and its timers go on.
    cancel = true;
    m_versionNotes->stopScroll();
    hide();
}

void AddinsWindow::Form_Activate() {
    // Back from another window of the program: the notes start again from below, unless the
    // user froze them with 停止.
    m_versionNotes->resumeOnActivate();
}

void AddinsWindow::Form_MouseDown() {
    m_drag(this);
}

bool AddinsWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (watched != m_stack) {
            Form_MouseDown();
            return true;
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
        if (watched == m_stack) {
            // Pages start below the tab row: keep the canvases on the tab control's origin.
            for (QWidget* canvas : std::as_const(m_canvases))
                canvas->move(-m_stack->pos());
        }
        break;
    default:
        break;
    }
    return Form::eventFilter(watched, event);
}

void AddinsWindow::showEvent(QShowEvent* event) {
    Form::showEvent(event);
    m_powerAction->refreshFrameCaption(m_context.clock.now());
    // Shown (again): the notes scroll afresh from below the box, and the button says so.
    m_versionNotes->restartOnShow();
    activateWindow();
}

void AddinsWindow::hideEvent(QHideEvent* event) {
    Form::hideEvent(event);
    // Nobody sees the notes: no wake-ups until the window shows again.
    m_versionNotes->pauseTimer();
    if (!event->spontaneous())
        QTimer::singleShot(0, this, &AddinsWindow::releaseWhileHidden);
}

void AddinsWindow::releaseWhileHidden() {
    // Hidden, the window may wait for hours with a power action armed: its pages and their
    // state stay, but the finished image of the notes goes until it shows again, and so do
    // the heap pages that drawing left free. (The native window stays: assistive technology
    // may still hold on to it.)
    if (isVisible())
        return;
    m_versionNotes->releaseNotesImage();
    // So do the pieces of the pages' frames, tabs and buttons the style keeps in the pixmap
    // cache (some 100 KiB): whatever draws next caches its own again.
    QPixmapCache::clear();
    // The window's backing store (a shared-memory image of the whole window) goes too: the
    // toolkit makes it again at the window's size, and paints it all, on the next showing.
    if (QBackingStore* store = backingStore())
        store->resize(QSize(1, 1));
    ReleaseFreedMemory();
}

void AddinsWindow::changeEvent(QEvent* event) {
    Form::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        if (isMinimized())
            m_versionNotes->pauseTimer();
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

// One second of the program's heartbeat, for every page that counts on it.
void AddinsWindow::heartbeatSecond(const Moment& moment) {
    const QDateTime& now = moment.local();
    m_powerAction->Timer1_Timer(now);
    m_calendar->setToday(now.date());
    m_powerAction->Timer2_Timer(now);
    m_powerAction->Timer3_Timer(now);
    m_reminderSettings->Timer4_Timer(now);
}

void AddinsWindow::setPowerBackend(std::unique_ptr<PowerBackend> backend) {
    m_powerAction->setPowerBackend(std::move(backend));
}

void AddinsWindow::setMonotonicClock(MonotonicClock clock) {
    m_monotonic = std::move(clock);
}

void AddinsWindow::setTextMeasurer(TextMeasurer measurer) {
    m_versionNotes->setTextMeasurer(std::move(measurer));
}

void AddinsWindow::setDragHandler(DragHandler drag) {
    m_drag = std::move(drag);
}
