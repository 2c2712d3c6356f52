#pragma once

#include "forms/form.h"
#include "forms/form_names.h"

#include <QDateTime>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class CalendarPage;
class CustomCountdownPage;
class Moment;
class PowerActionPage;
class PowerBackend;
class QFont;
class QTabWidget;
class QWindow;
class ReminderSettingsPage;
class VersionNotesPage;

// frmAddins, "附加功能": a tab control (SSTab1) holding a month calendar with the Chinese
// calendar line, the scheduled power action, the scrolling version notes, the study
// reminder's settings and the custom countdown, one page class each. The window keeps what
// belongs to it as a whole: its load, unload and activation, the drag, and the program's
// heartbeat, which it hands to the pages that count on it.
//
// The program keeps one object of it for its whole life: every unload is cancelled and hides
// the window, so the power action and the reminder go on while it is out of sight.
class AddinsWindow final : public Form {
    Q_OBJECT
public:
    static constexpr QLatin1String kName = FormName::Addins;

    // A monotonic millisecond count for the scroll and the countdown mode (QElapsedTimer
    // unless a test gives one).
    using MonotonicClock = std::function<qint64()>;
    // Height in pixels of the version notes in a font, or nothing when it cannot be measured.
    using TextMeasurer = std::function<std::optional<int>(const QFont&, const QString&)>;
    // Moves the window with the mouse (DragWindow unless a test gives one).
    using DragHandler = std::function<void(QWidget*)>;

    explicit AddinsWindow(AppContext& context, QWidget* parent = nullptr);
    ~AddinsWindow() override;

    void Form_Load() override;
    void Form_Unload(bool& cancel) override;
    // The window became the program's active window: the version notes start again below the
    // box (unless 停止 froze them).
    void Form_Activate();
    // A press on one of the window's drag surfaces.
    void Form_MouseDown();

    // The pages, in the order of their tabs.
    CalendarPage& calendar() const { return *m_calendar; }
    PowerActionPage& powerAction() const { return *m_powerAction; }
    VersionNotesPage& versionNotes() const { return *m_versionNotes; }
    ReminderSettingsPage& reminderSettings() const { return *m_reminderSettings; }
    CustomCountdownPage& customCountdown() const { return *m_customCountdown; }

    // The system's power service for the scheduled power action.
    void setPowerBackend(std::unique_ptr<PowerBackend> backend);

    // Seams for tests.
    void setMonotonicClock(MonotonicClock clock);
    void setTextMeasurer(TextMeasurer measurer);
    void setDragHandler(DragHandler drag);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Each page is laid out on a canvas the size of the tab control inside its tab.
    template <class Page, class... Args> Page* addPage(const QString& caption, Args&&... args);
    void heartbeatSecond(const Moment& now);
    void focusWindowChanged(QWindow* focus);
    void releaseWhileHidden();
    bool isOwnWindow(const QWindow* window) const;

    QTabWidget* SSTab1 = nullptr;
    QWidget* m_stack = nullptr; // where the tab control puts its pages
    QList<QWidget*> m_canvases;

    CalendarPage* m_calendar = nullptr;
    PowerActionPage* m_powerAction = nullptr;
    VersionNotesPage* m_versionNotes = nullptr;
    ReminderSettingsPage* m_reminderSettings = nullptr;
    CustomCountdownPage* m_customCountdown = nullptr;

    MonotonicClock m_monotonic;
    DragHandler m_drag;
    QPointer<QWindow> m_lastFocus;
};
