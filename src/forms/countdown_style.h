#pragma once

#include <QObject>
#include <QString>

class SettingsStore;

// How the countdown's three lines are drawn, as stored under "frmMain".
struct TextStyle {
    QString fontName; // empty: the window's default face
    double fontSize = 15;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethru = false;
    quint32 foreColor = 10485760; // &H00BBGGRR: &HA00000, dark blue

    friend bool operator==(const TextStyle&, const TextStyle&) = default;
};

// Where the countdown sits, in twips, as stored under "frmWindows".
struct CountdownRect {
    double left = 7770;
    double top = 5325;
    double width = 6045;
    double height = 3240;

    friend bool operator==(const CountdownRect&, const CountdownRect&) = default;
};

// The countdown's style: one model that frmMain shows and other windows change (the display
// settings set font and colour live; the tray's exit stores it). It owns the store's keys and
// their defaults, so no window spells them out again.
class CountdownStyle final : public QObject {
    Q_OBJECT
public:
    explicit CountdownStyle(QObject* parent = nullptr) : QObject(parent) {}

    static constexpr double kMinFontSize = 1;
    static constexpr double kMaxFontSize = 1000;

    const TextStyle& text() const { return m_text; }
    const CountdownRect& rect() const { return m_rect; }

    void setText(const TextStyle& style);
    void setForeColor(quint32 bgr);
    void setRect(const CountdownRect& rect);

    // Reads both sections; a missing or unusable value takes its default (fallbackFontName
    // for an empty font name).
    void load(const SettingsStore& store, const QString& fallbackFontName);
    // Writes the text style under "frmMain" and makes it durable; false with the reason when
    // the store could not be written.
    bool storeText(SettingsStore& store, QString* error = nullptr) const;
    bool storeRect(SettingsStore& store, QString* error = nullptr) const;

signals:
    void textChanged();
    void rectChanged();

private:
    TextStyle m_text;
    CountdownRect m_rect;
};
