#pragma once

#include <QString>
#include <QWidget>

struct AppContext;

// A window of the program, known to the others only by its name ("frmMain", "frmTray", ...).
// The registry constructs it, runs Form_Load once, and asks Form_Unload before destroying it.
// Each subclass names itself with a static kName from FormName, which the registry's typed
// access uses.
class Form : public QWidget {
    Q_OBJECT
public:
    Form(AppContext& context, const QString& name, QWidget* parent = nullptr);

    const QString& formName() const { return m_formName; }

    // Runs once, right after construction, before the window is first shown.
    virtual void Form_Load() {}
    // Set cancel to keep the window loaded (it may hide itself instead).
    virtual void Form_Unload(bool& cancel) { Q_UNUSED(cancel) }

protected:
    // The title-bar close button goes through the registry, so Form_Unload runs.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

    // The window is centred on its screen (frame included) the first time it is shown; later
    // showings keep wherever the user put it.
    void setCentredWhenFirstShown(bool centred) { m_centreOnFirstShow = centred; }

    AppContext& m_context;

private:
    QString m_formName;
    bool m_centreOnFirstShow = false;
    bool m_shownBefore = false;
};
