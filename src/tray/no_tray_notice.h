#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

class TrayPresence;
class WindowRegistry;

// The one notice that says how to reach the menu on a desktop without a notification area.
// It comes only when the tray presence says it is due, stands in a corner of the screen
// away from the countdown, takes no focus, and goes away by itself when a notification area
// appears after all.
class NoTrayNotice final : public QObject {
    Q_OBJECT
public:
    // Distance from the edges of the screen's available area, in pixels.
    static constexpr int kMargin = 24;

    NoTrayNotice(TrayPresence& presence, WindowRegistry& registry, QObject* parent = nullptr);
    ~NoTrayNotice() override;

    // The notice while it is open.
    QMessageBox* box() const { return m_box; }

private:
    void show();
    void withdraw();

    WindowRegistry& m_registry;
    QPointer<QMessageBox> m_box;
    bool m_shown = false;
};
