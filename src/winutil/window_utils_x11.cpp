#include "winutil/os_version.h"
#include "winutil/overlay_window_x11.h"
#include "winutil/window_utils.h"

#include <QBitmap>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPalette>
#include <QRegion>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

namespace {

bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Qt writes a shape change into the xcb output buffer; when it happens outside a paint (a
// timer changed a label) nothing may flush the buffer for a long while.
void flushX11() {
    if (!onX11())
        return;
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        xcb_flush(x11->connection());
}

void fillWithColor(QWidget* widget, const QColor& color) {
    // Start from the widget's own palette so that a text colour set earlier survives.
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// Follows the mouse with a top-level window until every button is up, for the cases where
// the window manager cannot move it (no manager, or a window the manager does not manage).
class MouseDragFollower : public QObject {
    Q_OBJECT

public:
    explicit MouseDragFollower(QWidget* window)
        : QObject(window), m_window(window), m_grabOffset(QCursor::pos() - window->pos()) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Mouse events reach the QWindow first and then each widget on the way up; the
        // position is absolute, so seeing one twice does no harm, but widgets suffice.
        if (!watched->isWidgetType())
            return false;
        switch (event->type()) {
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->buttons() == Qt::NoButton) {
                finish(); // the release went elsewhere
                break;
            }
            m_window->move(mouse->globalPosition().toPoint() - m_grabOffset);
            break;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
                finish();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void finish() {
        qApp->removeEventFilter(this);
        deleteLater();
    }

    QWidget* m_window; // our parent, so it outlives us
    QPoint m_grabOffset;
};

// Where the overlay cannot have a window of its own (no X server: the offscreen platform of
// the tests; an X server without what X11Overlay needs), Qt's window is cut out with a mask
// instead. It keeps the shape in step with what the window draws: renders the window,
// derives the visible pixels and reshapes only when they changed. It watches the window and
// its children for updates, so a label whose text changed reshapes the window by itself.
class ColorKeyShaper : public QObject {
    Q_OBJECT

public:
    explicit ColorKeyShaper(QWidget* window) : QObject(window), m_window(window) {
        watch(window);
        for (QWidget* child : window->findChildren<QWidget*>())
            watch(child);
    }

    static ColorKeyShaper* of(QWidget* window) {
        return window->findChild<ColorKeyShaper*>(QString(), Qt::FindDirectChildrenOnly);
    }

    void reshape() {
        m_reshapeQueued = false;
        if (m_rendering)
            return;
        const QSize size = m_window->size();
        if (size.isEmpty())
            return;
        QImage content(size, QImage::Format_RGB32);
        content.fill(colorFromBgr(kTransparencyKey));
        m_rendering = true;
        // IgnoreMask: the new text may lie outside the current shape.
        m_window->render(&content, QPoint(), QRegion(),
                         QWidget::DrawWindowBackground | QWidget::DrawChildren |
                             QWidget::IgnoreMask);
        m_rendering = false;

        QImage mask = colorKeyMask(content);
        if (mask == m_mask)
            return;
        m_mask = std::move(mask);
        const QRegion visible(QBitmap::fromImage(m_mask));
        // An empty region would remove the mask and show the whole window; a region
        // outside the window keeps it masked and shows nothing.
        m_window->setMask(visible.isEmpty() ? QRegion(-1, -1, 1, 1) : visible);
        repaintAdded(visible.subtracted(m_visible));
        m_visible = visible;
        flushX11();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // render() paints, and first delivers a hidden window's pending resize; only what
        // happens outside it can mean new content.
        if (m_rendering)
            return false;
        switch (event->type()) {
        case QEvent::UpdateRequest:
            // Every update() of the window or a child ends in one of these on the window,
            // even when the changed part lies outside the current shape and is therefore
            // never painted.
        case QEvent::Paint:
            queueReshape();
            break;
        case QEvent::Resize:
        case QEvent::Show:
            // Shape before the window is mapped, so that the key colour never flashes.
            if (watched == m_window)
                reshape();
            break;
        case QEvent::ChildAdded:
            if (auto* child = static_cast<QChildEvent*>(event)->child(); child->isWidgetType()) {
                watch(static_cast<QWidget*>(child));
                queueReshape();
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    void watch(QWidget* widget) { widget->installEventFilter(this); }

    // Painting is clipped to the old shape, so what the new shape adds may never have been
    // painted, or still holds an old text on the key colour. An update of the window alone
    // does not repaint its children there, so each child covering a part is updated.
    void repaintAdded(const QRegion& added) {
        if (added.isEmpty())
            return;
        m_window->update(added);
        for (QWidget* child : m_window->findChildren<QWidget*>()) {
            const QRegion part =
                added.translated(-child->mapTo(m_window, QPoint())).intersected(child->rect());
            if (!part.isEmpty())
                child->update(part);
        }
    }

    void queueReshape() {
        if (m_reshapeQueued)
            return;
        m_reshapeQueued = true;
        QMetaObject::invokeMethod(this, &ColorKeyShaper::reshape, Qt::QueuedConnection);
    }

    QWidget* m_window; // our parent, so it outlives us
    QImage m_mask;
    QRegion m_visible;
    bool m_rendering = false;
    bool m_reshapeQueued = false;
};

} // namespace

void DragWindow(QWidget* window) {
    if (!window)
        return;
    QWidget* top = window->window();
    if (QWindow* handle = top->windowHandle(); handle && handle->startSystemMove())
        return;
    if (!top->findChild<MouseDragFollower*>(QString(), Qt::FindDirectChildrenOnly))
        new MouseDragFollower(top);
}

bool IsVistaSystem() {
    // There is no version query on this desktop. What the Vista branch chooses (the font
    // name without the "_GB2312" suffix, a start-up folder entry rather than a Run value)
    // is what this desktop has, so it reports itself as a current NT-family system.
    const OsVersionInfo thisDesktop{
        .callSucceeded = true, .platformId = 2, .majorVersion = 10, .minorVersion = 0};
    return isVistaOrLater(thisDesktop);
}

void ApplyColorKeyTransparency(QWidget* window) {
    if (!window)
        return;
    const QColor key = colorFromBgr(kTransparencyKey);
    fillWithColor(window, key);
    for (QWidget* child : window->findChildren<QWidget*>())
        fillWithColor(child, key);

    // Without a compositor the key can only be cut out with a shape. The window is left
    // unmanaged (override-redirect): under a reparenting manager the frame would catch the
    // clicks that the empty input region lets through, and a managed window would get a
    // taskbar entry and the focus. The overlay layer restacks it below each window the user
    // activates, so that it stacks like an ordinary window.
    const bool wasVisible = window->isVisible();
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setWindowFlags(window->windowFlags() | Qt::Window | Qt::FramelessWindowHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                           Qt::X11BypassWindowManagerHint);

    if (window->isVisible())
        window->hide(); // in case the flags were there already
    if (!X11Overlay::of(window)) {
        ColorKeyShaper* shaper = ColorKeyShaper::of(window);
        if (!shaper && !X11Overlay::attach(window))
            shaper = new ColorKeyShaper(window);
        if (shaper)
            shaper->reshape();
    }
    if (wasVisible)
        window->show(); // changing the flags hid it
}

void UpdateColorKeyShape(QWidget* window, const QRect& changed) {
    if (!window)
        return;
    if (X11Overlay* overlay = X11Overlay::of(window))
        overlay->update(changed);
    else if (ColorKeyShaper* shaper = ColorKeyShaper::of(window))
        shaper->reshape(); // the mask needs the whole window anyway
}

void SetColorKeyContentPainter(QWidget* window, ColorKeyContentPainter painter) {
    if (X11Overlay* overlay = window ? X11Overlay::of(window) : nullptr)
        overlay->setContentPainter(std::move(painter));
}

void MakeTopmost(QWidget* window) {
    if (!window)
        return;
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (wasVisible)
        window->show(); // changing the flags hid it
}

#include "window_utils_x11.moc"
