#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class TrayHostProbe;

// Whether this run has a notification area, and whether the user must be told it has none.
//
// At login the panel and the autostart programs start together, so a host that is missing
// when the program starts may only be late. The "no notification area" notice is therefore
// due only when no host has appeared within a grace period after start, and never once one
// has been seen in this run; a host that comes after the notice withdraws it.
class TrayPresence final : public QObject {
    Q_OBJECT
public:
    // Long enough for a panel that starts with a slow login on an old school computer, short
    // enough that a student on a desktop without any tray learns soon how to reach the menu.
    static constexpr std::chrono::milliseconds kGracePeriod{30000};
    // Shortens the grace period for tests that need the notice (milliseconds, 0 to the
    // default); it can never lengthen it.
    static constexpr const char* kGraceVariable = "DALVENOR_TRAY_GRACE_MS";

    using ProbeFactory = std::function<std::unique_ptr<TrayHostProbe>()>;

    explicit TrayPresence(std::unique_ptr<TrayHostProbe> probe,
                          std::chrono::milliseconds gracePeriod = kGracePeriod,
                          QObject* parent = nullptr);
    // The probe is made when first needed (start() or hostPresent()): connecting to the session
    // bus and to the display for the watch costs the start-up time before the countdown shows.
    explicit TrayPresence(ProbeFactory makeProbe,
                          std::chrono::milliseconds gracePeriod = kGracePeriod,
                          QObject* parent = nullptr);
    ~TrayPresence() override;

    // The grace period as the variable above gives it; the default for an empty, malformed,
    // negative or too long value.
    static std::chrono::milliseconds gracePeriodFrom(const QByteArray& value);

    // Begins the grace period (once; later calls do nothing).
    void start();

    bool hostPresent();
    // Whether the probe has been made (by start() or the first hostPresent()).
    bool isProbing() const { return m_probe != nullptr; }
    bool hostSeen() const { return m_seen; }
    bool isNoticeDue() const { return m_noticeDue; }
    bool isWaiting() const { return m_timer.isActive(); }
    std::chrono::milliseconds gracePeriod() const { return m_gracePeriod; }

    // What the grace timer does when it runs out; tests call it instead of waiting.
    void endGracePeriod();

signals:
    // A host became present (at the first sighting and after every return).
    void hostAppeared();
    // The grace period ended without any host.
    void noticeDue();
    // A host appeared after the notice was due.
    void noticeWithdrawn();

private:
    void presenceChanged();
    void ensureProbe();
    void adopt(std::unique_ptr<TrayHostProbe> probe);

    ProbeFactory m_makeProbe;
    std::unique_ptr<TrayHostProbe> m_probe;
    std::chrono::milliseconds m_gracePeriod;
    QTimer m_timer;
    bool m_started = false;
    bool m_seen = false;
    bool m_noticeDue = false;
};
