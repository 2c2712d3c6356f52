#pragma once

#include "forms/skin_library.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// Reading and checking a ".she" skin file: a UTF-8 Qt style sheet.
namespace skinfile {

// Skin files are a few kilobytes; a larger file is not a skin and is not read whole.
inline constexpr qint64 kMaxBytes = 1024 * 1024;

enum class Status {
    Ok,
    Unreadable, // missing, not a regular file, too large or unreadable: see error
    NotUtf8,
    NotAStyleSheet, // Qt cannot parse it
    Refused,        // names a file that is no small regular image, or would hide text
};

struct Loaded {
    Status status = Status::Unreadable;
    QByteArray bytes; // the file as it is, for a byte copy
    QString sheet;    // the text, without a byte-order mark
    QString error;    // in Chinese, for the user, when status is not Ok
};

// Reads and checks a skin file, only if it is a regular file of at most kMaxBytes. The files
// its sheet names are checked before Qt's parser sees it (Qt's parse already opens them) and
// its text must stay readable: see skin_sheet_check.h.
Loaded load(const QString& path);

// Whether Qt's style sheet parser accepts the text. Qt's own parse warning is kept back:
// an unusable skin is reported by the caller, not on the terminal.
bool parses(const QString& sheet);

} // namespace skinfile

// The skin engine of this platform: a Qt style sheet given to every top-level window of the
// program except the countdown overlay ("frmMain"), whose labels keep the font and colour the
// user chose and whose background must stay exactly the transparency key, and except the
// tray window with its menu and message boxes of their own: they keep the platform's look, so
// that the way to the skin manager and every failure stay readable whatever a skin does (the
// skin manager itself is guarded by the checks a sheet passes). Windows created or first
// shown later get the sheet too. Nothing else of a window is changed, so a
// window with a style sheet of its own is left alone.
class StyleSheetSkinEngine final : public QObject, public SkinEngine {
    Q_OBJECT
public:
    explicit StyleSheetSkinEngine(QObject* parent = nullptr);
    ~StyleSheetSkinEngine() override;

    // Reads the skin file and puts it on every window. An unchanged sheet changes nothing (the
    // countdown calls this at each of its reloads); a file that cannot be used takes any skin
    // off: with no usable skin nothing is skinned. The user is told why in a box that does not
    // wait, once for each reason, so that the countdown's reloads do not repeat it.
    void attach(const QString& skinFile) override;
    // Recorded only: this desktop's compositor draws the frames.
    void setAero(int on) override { m_aero = on; }

    // The sheet in use; empty when nothing is skinned.
    const QString& sheet() const { return m_sheet; }
    int aero() const { return m_aero; }

    // Puts a sheet on directly (empty: none); what attach does after reading the file.
    void apply(const QString& sheet);

    // Whether the engine leaves this top-level window unskinned.
    static bool isExcluded(const QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void skinWindow(QWidget* window);
    void unskinWindow(QWidget* window);

    QString m_sheet;
    QString m_lastRefusal;
    int m_aero = 0;
    bool m_filtering = false;
};
