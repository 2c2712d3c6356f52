#include "skins/style_sheet_skin.h"

#include "forms/form_names.h"
#include "forms/message_box.h"
#include "settings/regular_file.h"
#include "settings/text_file.h"
#include "skins/skin_sheet_check.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace {

// Marks a window whose style sheet is the skin's, so that taking the skin off never clears a
// sheet the window set itself.
constexpr const char* kSkinned = "dalvenorSkinned";
// Marks a window given a styled background for the skin, so that it is taken back with it.
constexpr const char* kStyledBackground = "dalvenorSkinBackground";

struct ParseWarnings {
    QStringList* caught = nullptr;
    QtMessageHandler previous = nullptr;
};
ParseWarnings g_parse;

void catchParseWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (g_parse.caught && type == QtWarningMsg &&
        message.contains(QLatin1String("Could not parse"))) {
        g_parse.caught->append(message);
        return;
    }
    if (g_parse.previous)
        g_parse.previous(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// A window the engine may give the skin: not the overlay, and without a sheet of its own.
bool takesSkin(const QWidget* window) {
    return !StyleSheetSkinEngine::isExcluded(window) &&
           (window->styleSheet().isEmpty() || window->property(kSkinned).toBool());
}

} // namespace

namespace skinfile {

bool parses(const QString& sheet) {
    if (sheet.trimmed().isEmpty())
        return true;
    // Qt parses a widget's sheet when it polishes the widget, and says so only in a warning.
    QWidget probe;
    probe.setAttribute(Qt::WA_DontShowOnScreen);
    QStringList caught;
    g_parse.caught = &caught;
    g_parse.previous = qInstallMessageHandler(catchParseWarnings);
    probe.setStyleSheet(sheet);
    probe.ensurePolished();
    qInstallMessageHandler(g_parse.previous);
    g_parse = {};
    return caught.isEmpty();
}

Loaded load(const QString& path) {
    Loaded loaded;
    textfile::RegularFile file;
    textfile::ReadStatus status = file.open(path);
    if (status == textfile::ReadStatus::Ok)
        status = file.readAll(loaded.bytes, kMaxBytes);
    if (status != textfile::ReadStatus::Ok) {
        loaded.bytes.clear();
        loaded.error = textfile::statusMessage(status, path, file.errorString());
        return loaded;
    }
    if (!QByteArrayView(loaded.bytes).isValidUtf8()) {
        loaded.status = Status::NotUtf8;
        loaded.error = QStringLiteral("该皮肤文件无法使用：“%1”不是 UTF-8 文本。").arg(path);
        return loaded;
    }
    QByteArrayView text(loaded.bytes);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    loaded.sheet = QString::fromUtf8(text);
    // Before the parse: Qt's parse of a sheet polishes a widget, which opens its images.
    QString problem = skincheck::findResourceProblem(loaded.sheet);
    if (problem.isEmpty())
        problem = skincheck::findReadabilityProblem(loaded.sheet);
    if (!problem.isEmpty()) {
        loaded.status = Status::Refused;
        loaded.error = QStringLiteral("皮肤文件“%1”无法使用。%2").arg(path, problem);
        loaded.sheet.clear();
        return loaded;
    }
    if (!parses(loaded.sheet)) {
        loaded.status = Status::NotAStyleSheet;
        loaded.error = QStringLiteral("该皮肤文件无法使用：“%1”不是 Qt 能读懂的样式表。").arg(path);
        return loaded;
    }
    loaded.status = Status::Ok;
    return loaded;
}

} // namespace skinfile

StyleSheetSkinEngine::StyleSheetSkinEngine(QObject* parent) : QObject(parent) {}

StyleSheetSkinEngine::~StyleSheetSkinEngine() {
    // Windows that outlive the engine go back to the toolkit's drawing.
    if (qApp)
        apply(QString());
}

bool StyleSheetSkinEngine::isExcluded(const QWidget* window) {
    if (window->windowType() == Qt::Desktop)
        return true;
    // A box of its own tells of a failure, the skin's among them: it must always be read.
    if (qobject_cast<const QMessageBox*>(window) && !window->parentWidget())
        return true;
    // The overlay's labels keep the user's font and colour, and its background must stay
    // exactly the transparency key: a sheet there would change both. The tray menu is the way
    // to everything, the way back from a skin included, so it is never drawn in one; its
    // submenus go with it.
    for (const QWidget* above = window; above; above = above->parentWidget()) {
        const QString& name = above->objectName();
        if (name == FormName::Main || name == FormName::Tray)
            return true;
    }
    return false;
}

void StyleSheetSkinEngine::attach(const QString& skinFile) {
    const skinfile::Loaded loaded = skinfile::load(skinFile);
    if (loaded.status == skinfile::Status::Ok) {
        m_lastRefusal.clear();
        apply(loaded.sheet);
        return;
    }
    apply(QString());
    // A start with a broken skin goes on unskinned; the box does not hold the start up.
    if (loaded.error != m_lastRefusal) {
        m_lastRefusal = loaded.error;
        MessageBox::notify(QMessageBox::Warning, QStringLiteral("Dalvenor"),
                           loaded.error + QStringLiteral("窗口将不使用皮肤。"));
    }
}

void StyleSheetSkinEngine::apply(const QString& sheet) {
    // Restyling costs time in proportion to the widgets; the countdown's reloads attach the
    // same file again and again.
    if (sheet == m_sheet)
        return;
    m_sheet = sheet;
    if (!m_sheet.isEmpty() && !m_filtering) {
        qApp->installEventFilter(this);
        m_filtering = true;
    } else if (m_sheet.isEmpty() && m_filtering) {
        qApp->removeEventFilter(this);
        m_filtering = false;
    }
    // Outer windows first, so that a window inside another (a menu of the tray window) finds
    // the sheet already there and takes it from its parent.
    QWidgetList windows = QApplication::topLevelWidgets();
    const auto depth = [](const QWidget* window) {
        int levels = 0;
        for (const QWidget* above = window->parentWidget(); above; above = above->parentWidget())
            levels += above->isWindow() ? 1 : 0;
        return levels;
    };
    std::stable_sort(windows.begin(), windows.end(),
                     [&depth](const QWidget* a, const QWidget* b) { return depth(a) < depth(b); });
    for (QWidget* window : windows) {
        if (m_sheet.isEmpty())
            unskinWindow(window);
        else
            skinWindow(window);
    }
}

void StyleSheetSkinEngine::skinWindow(QWidget* window) {
    if (!window->isWindow() || !takesSkin(window))
        return;
    // A window inside another skinned window (a menu of the tray window, a box with a parent)
    // takes the sheet from it; a second copy would only cost time.
    for (const QWidget* above = window->parentWidget(); above; above = above->parentWidget()) {
        if (above->isWindow() && above->property(kSkinned).toBool() &&
            above->styleSheet() == m_sheet) {
            unskinWindow(window);
            return;
        }
    }
    window->setProperty(kSkinned, true);
    // Qt draws a sheet's background on plain windows and dialogs by itself; the program's own
    // window classes need to ask for it.
    if (!window->testAttribute(Qt::WA_StyledBackground)) {
        window->setAttribute(Qt::WA_StyledBackground);
        window->setProperty(kStyledBackground, true);
    }
    if (window->styleSheet() != m_sheet)
        window->setStyleSheet(m_sheet);
}

void StyleSheetSkinEngine::unskinWindow(QWidget* window) {
    if (!window->property(kSkinned).toBool())
        return;
    window->setProperty(kSkinned, QVariant());
    if (window->property(kStyledBackground).toBool()) {
        window->setAttribute(Qt::WA_StyledBackground, false);
        window->setProperty(kStyledBackground, QVariant());
    }
    window->setStyleSheet(QString());
}

bool StyleSheetSkinEngine::eventFilter(QObject* watched, QEvent* event) {
    // A window shown for the first time, or created after the skin was put on; the sheet is
    // set before it is first drawn.
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow())
            skinWindow(widget);
    }
    return QObject::eventFilter(watched, event);
}
