#pragma once

#include "forms/form.h"
#include "forms/form_names.h"

#include <QUrl>

#include <functional>

class QLabel;
class QFrame;
class QPushButton;

// frmAbout: name, version, description, distribution notice and a link to the author's page.
// It reads and writes no settings. Enter, Esc, "确定" and the title-bar button close it; most
// of its surfaces drag it; the link opens the page in the default browser.
class AboutWindow final : public Form {
    Q_OBJECT
public:
    static constexpr QLatin1String kName = FormName::About;
    using UrlOpener = std::function<void(const QUrl&)>;

    // The author's page, shown as the link's text.
    static QString authorPage();

    // openUrl opens the page (the default browser unless given).
    explicit AboutWindow(AppContext& context, UrlOpener openUrl = {}, QWidget* parent = nullptr);

    void Form_Load() override;

    void Label2_MouseMove();
    void Form_MouseMove();
    void Label2_Click();
    void cmdOK_Click();
    void Form_MouseDown();

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* cmdOK = nullptr;
    QFrame* Line1_0 = nullptr;
    QFrame* Line1_1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* addLabel(const char* name, const QString& text, double left, double top, double width,
                     double height, const QColor& colour);
    QFrame* addLine(const char* name, double left, double top, double right, int thickness,
                    const QColor& colour);
    void setLinkColour(const QColor& colour);

    UrlOpener m_openUrl;
    bool m_linkPressed = false;
};
