#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

class QWidget;

// The font and colour dialogs of the display settings, as one component that keeps its values
// between showings. Qt's font chooser has no colour choice, so ShowFont adds a colour row to
// its effects; ShowColor is Qt's colour dialog. Colours are &H00BBGGRR, as stored.
//
// A test scripts the answer of the next dialog (which is then recorded, not shown), so no test
// blocks on a modal dialog.
class CommonDialog1 {
public:
    // Flags of ShowFont: screen fonts, printer fonts, effects (strikeout, underline, colour).
    static constexpr int cdlCFScreenFonts = 0x1;
    static constexpr int cdlCFPrinterFonts = 0x2;
    static constexpr int cdlCFEffects = 0x100;
    // Flags of ShowColor: start from Color, open the custom-colour part, any colour.
    static constexpr int cdlCCRGBInit = 0x1;
    static constexpr int cdlCCFullOpen = 0x2;
    static constexpr int cdlCCAnyColor = 0x100;

    enum class Kind { Font, Color };

    // What a dialog opened with (and, for a scripted one, what it answered).
    struct Shown {
        Kind kind = Kind::Font;
        int flags = 0;
        QString fontName;
        double fontSize = 0;
        bool fontBold = false;
        bool fontItalic = false;
        bool fontUnderline = false;
        bool fontStrikethru = false;
        quint32 color = 0;
    };

    // The user's answer to the next dialog. A font answer sets only what it names; an
    // unset colour keeps the current one.
    struct Answer {
        bool accepted = true;
        std::optional<QString> fontName = std::nullopt;
        std::optional<double> fontSize = std::nullopt;
        std::optional<bool> fontBold = std::nullopt;
        std::optional<bool> fontItalic = std::nullopt;
        std::optional<bool> fontUnderline = std::nullopt;
        std::optional<bool> fontStrikethru = std::nullopt;
        std::optional<quint32> color = std::nullopt;

        static Answer cancel() { return Answer{.accepted = false}; }
    };

    explicit CommonDialog1(QWidget* parent = nullptr) : m_parent(parent) {}

    bool CancelError = false;
    int Flags = 0;
    QString FontName;
    double FontSize = 0;
    bool FontBold = false;
    bool FontItalic = false;
    bool FontUnderline = false;
    bool FontStrikethru = false;
    quint32 Color = 0;

    // Show the dialog modally and take its choice into the properties. False only when the
    // user cancelled with CancelError set: the caller then ends with nothing applied. A cancel
    // without CancelError returns true and leaves the properties as they were.
    [[nodiscard]] bool ShowFont();
    [[nodiscard]] bool ShowColor();

    // The next dialog is not shown: it gives this answer at once (tests). Answers queue up.
    static void scriptNextAnswer(const Answer& answer);
    static bool hasScriptedAnswer();
    // Dialogs answered by script since the last clear.
    static const QList<Shown>& shownDialogs();
    static void clearScript();

    // The sixteen standard colours the font dialog offers, &H00BBGGRR, with their names.
    struct NamedColor {
        quint32 bgr;
        const char* name; // UTF-8
    };
    static const QList<NamedColor>& standardColors();

private:
    Shown current(Kind kind) const;
    // Takes a choice; false when the dialog was cancelled.
    bool take(const Answer& answer);
    bool finish(bool accepted);
    std::optional<Answer> runFontDialog();
    std::optional<Answer> runColorDialog();

    QWidget* m_parent;
};
