#pragma once

#include "forms/app_context.h"
#include "forms/clock.h"
#include "forms/countdown_style.h"
#include "forms/heartbeat.h"
#include "forms/program_control.h"
#include "forms/skin_library.h"
#include "forms/tray_notifier.h"
#include "forms/window_registry.h"
#include "settings/data_paths.h"
#include "settings/settings_store.h"

#include <QDir>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Keeps what the windows said through the tray icon, instead of showing it.
class RecordingTrayNotifier final : public TrayNotifier {
public:
    struct Message {
        QString title;
        QString text;
    };

    void setToolTip(const QString& text) override {
        toolTip = text;
        toolTips.append(text);
    }
    void showMessage(const QString& title, const QString& text) override {
        messages.append({title, text});
    }

    QString toolTip = QStringLiteral("Dalvenor");
    QStringList toolTips; // every tooltip set, in order
    QList<Message> messages;
};

// Records what the windows asked of the program (restart, exit) instead of doing it.
class RecordingProgramControl final : public ProgramControl {
public:
    bool restart() override {
        requests.append(QStringLiteral("restart"));
        return restartSucceeds;
    }
    void exit() override { requests.append(QStringLiteral("exit")); }

    QStringList requests; // "restart" and "exit", in order
    bool restartSucceeds = true;
};

// Everything a window is given, in a fresh temporary folder ("program" and "data" folders and
// a settings file there), with a clock that only moves when told to. The heartbeat is not
// started: tests call the tick handlers themselves.
class TestContext {
public:
    explicit TestContext(std::unique_ptr<SkinLibrary> skin = {})
        : m_paths(makeFolder(QStringLiteral("program")), makeFolder(QStringLiteral("data"))),
          m_settings(m_dir.filePath(QStringLiteral("store.ini"))),
          m_skin(skin ? std::move(skin)
                      : std::make_unique<SkinLibrary>(m_dir.filePath(QStringLiteral("skinh.she")))),
          m_heartbeat(clock), context{registry,    m_settings, m_paths,  clock,  *m_skin,
                                      m_heartbeat, style,      notifier, program} {}

    QString path(const QString& name) const { return m_dir.filePath(name); }
    const DataPaths& paths() const { return m_paths; }
    SettingsStore& settings() { return m_settings; }
    Heartbeat& heartbeat() { return m_heartbeat; }

    ManualClock clock{QDateTime(QDate(2011, 6, 5), QTime(8, 0))};
    CountdownStyle style;
    RecordingTrayNotifier notifier;
    RecordingProgramControl program;

private:
    QString makeFolder(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }

    QTemporaryDir m_dir;
    DataPaths m_paths;
    SettingsStore m_settings;
    std::unique_ptr<SkinLibrary> m_skin;
    Heartbeat m_heartbeat;

public:
    // Last: its windows go before the services they use.
    WindowRegistry registry;
    AppContext context;
};
