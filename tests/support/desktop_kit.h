#pragma once

// What the C++ desktop tests share beside the virtual desktop itself: waits with a deadline,
// the tools a test drives the desktop with, the window tree and the screen read over an X
// connection of the test's own, the tray icon docked in a panel and its menu.
//
// Every X client (the program, the panel, xdotool, this connection) has a connection of its
// own and the server keeps no order between them: whatever another client did is polled for
// until it holds, with a generous limit, never assumed seen.

#include "virtual_desktop.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSet>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>

#include <xcb/xcb.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>

namespace desktopkit {

// Milliseconds. Generous, since two desktop tests may share two busy cores: a wait that ends
// early finds a real fault only later, never a false one.
constexpr int kWaitMs = 30000;
constexpr int kSkipReturnCode = 77;

inline bool holds(const QString& value) {
    return !value.isEmpty();
}
template <typename T> bool holds(const T& value) {
    return bool(value);
}

// Polls probe until it gives a value that holds (true, a non-empty string, an engaged
// optional) and returns it; an empty value when the time is up.
template <typename F> auto waitFor(F probe, int timeoutMs = kWaitMs) -> decltype(probe()) {
    decltype(probe()) value{};
    const bool held = QTest::qWaitFor(
        [&] {
            value = probe();
            return holds(value);
        },
        timeoutMs);
    return held ? value : decltype(probe()){};
}

// The exit status of a test that cannot run here: 77, or 1 when every desktop test is required
// to run (CI installs every tool and builds everything: a skip there hides a fault).
inline int skip(const QString& reason) {
    if (qEnvironmentVariable("DALVENOR_REQUIRE_DESKTOP") == QLatin1String("1")) {
        std::fprintf(stderr, "FAIL: %s (DALVENOR_REQUIRE_DESKTOP=1 allows no skip)\n",
                     qPrintable(reason));
        return 1;
    }
    std::fprintf(stderr, "SKIP: %s\n", qPrintable(reason));
    return kSkipReturnCode;
}

// The first of tools that is not installed, or empty.
inline QString missingTool(std::initializer_list<const char*> tools) {
    for (const char* tool : tools) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QString::fromLatin1(tool);
    }
    return {};
}

// Runs a tool on the desktop; what it printed, trimmed. exitCode is -1 for a crash or a hang.
inline QString run(const QProcessEnvironment& env, const QString& tool,
                   const QStringList& arguments, int* exitCode = nullptr, int timeoutMs = kWaitMs) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(tool, arguments);
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    if (exitCode)
        *exitCode =
            finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A window as the tree shows it.
struct Window {
    quint32 id = 0;
    QString name;     // _NET_WM_NAME, or WM_NAME
    QString instance; // the halves of WM_CLASS
    QString wmClass;
    int depth = 0; // the root's children are 1
    QRect rect;    // absolute
    bool viewable = false;

    // The id as xdotool and xprop take it.
    QString idText() const { return QString::number(id); }
    // Either half of WM_CLASS, as xdotool's --class compares it: without regard to case.
    bool ofClass(const QString& name) const {
        return instance.compare(name, Qt::CaseInsensitive) == 0 ||
               wmClass.compare(name, Qt::CaseInsensitive) == 0;
    }
};

// An id as xdotool prints it (decimal) or xwininfo does (hexadecimal); 0 for neither.
inline quint32 windowId(const QString& text) {
    bool ok = false;
    const quint32 id = text.trimmed().toUInt(&ok, 0);
    return ok ? id : 0;
}

// An X connection of the test's own to the desktop's display.
class XConnection {
public:
    explicit XConnection(const QString& display) {
        int screenNumber = 0;
        m_c = xcb_connect(display.toLocal8Bit().constData(), &screenNumber);
        if (!xcb_connection_has_error(m_c)) {
            xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
            for (int i = 0; i < screenNumber && it.rem; ++i)
                xcb_screen_next(&it);
            m_root = it.data->root;
        }
    }
    ~XConnection() { xcb_disconnect(m_c); }
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    bool connected() const { return !xcb_connection_has_error(m_c); }
    xcb_window_t root() const { return m_root; }

    xcb_atom_t atom(const char* name) {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name),
                                  nullptr),
            &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // Every window below the root, parents before their children (each child right after its
    // parent's earlier children's subtrees), viewable or not. A window that goes away while it
    // is read is left out with what lies below it.
    QList<Window> tree() {
        QList<Window> windows;
        if (!connected())
            return windows;
        const xcb_atom_t netName = atom("_NET_WM_NAME");
        const xcb_atom_t utf8 = atom("UTF8_STRING");
        addChildren(m_root, 1, netName, utf8, &windows);
        return windows;
    }

    // The window with this id as the tree shows it, if it still exists.
    std::optional<Window> window(quint32 id) {
        for (const Window& w : tree()) {
            if (w.id == id)
                return w;
        }
        return std::nullopt;
    }

    bool isViewable(quint32 id) {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> reply(
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, id), nullptr),
            &std::free);
        return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    // The window's absolute rectangle, without its border.
    std::optional<QRect> geometry(quint32 id) {
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
            xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, id), nullptr), &std::free);
        std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> origin(
            xcb_translate_coordinates_reply(m_c, xcb_translate_coordinates(m_c, id, m_root, 0, 0),
                                            nullptr),
            &std::free);
        if (!geometry || !origin)
            return std::nullopt;
        return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    }

    // A property of 32-bit items (CARDINAL, ATOM, WINDOW), at most maxItems of them.
    QList<quint32> property32(quint32 id, const char* name, quint32 maxItems = 1024) {
        QList<quint32> values;
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(
                m_c,
                xcb_get_property(m_c, 0, id, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, maxItems),
                nullptr),
            &std::free);
        if (!reply || reply->format != 32)
            return values;
        const auto* data = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        for (int i = 0; i < count; ++i)
            values.append(data[i]);
        return values;
    }

    bool hasState(quint32 id, const char* state) {
        return property32(id, "_NET_WM_STATE").contains(atom(state));
    }

    // The outer frame of a managed client: its rectangle grown by the window manager's frame
    // extents (left, right, top, bottom), or the rectangle while it names none.
    std::optional<QRect> frame(quint32 id) {
        const std::optional<QRect> inner = geometry(id);
        if (!inner || inner->isEmpty())
            return std::nullopt;
        const QList<quint32> e = property32(id, "_NET_FRAME_EXTENTS");
        if (e.size() != 4)
            return inner;
        return inner->adjusted(-int(e[0]), -int(e[2]), int(e[1]), int(e[3]));
    }

    // The root window as an image, or a null image when the server refuses.
    QImage screenshot() {
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> size(
            xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, m_root), nullptr), &std::free);
        if (!size)
            return {};
        std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> image(
            xcb_get_image_reply(m_c,
                                xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, 0, 0,
                                              size->width, size->height, ~0u),
                                nullptr),
            &std::free);
        // 24-bit TrueColor in 32-bit units, least significant byte first: what RGB32 holds.
        const int bytes = image ? xcb_get_image_data_length(image.get()) : 0;
        if (!image || image->depth != 24 || bytes < size->width * size->height * 4)
            return {};
        const int stride = bytes / size->height;
        QImage copy(xcb_get_image_data(image.get()), size->width, size->height, stride,
                    QImage::Format_RGB32);
        return copy.copy(); // the reply's memory goes with it
    }

private:
    QString text(xcb_get_property_cookie_t cookie) {
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(m_c, cookie, nullptr), &std::free);
        if (!reply || reply->format != 8)
            return {};
        return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                 xcb_get_property_value_length(reply.get()));
    }

    // Asks for every child's facts at once and reads the answers after, so that a tree of a
    // few hundred windows costs a few round trips per level.
    void addChildren(xcb_window_t parent, int depth, xcb_atom_t netName, xcb_atom_t utf8,
                     QList<Window>* windows) {
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(m_c, xcb_query_tree(m_c, parent), nullptr), &std::free);
        if (!tree)
            return;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        struct Asked {
            xcb_get_window_attributes_cookie_t attributes;
            xcb_get_geometry_cookie_t geometry;
            xcb_translate_coordinates_cookie_t origin;
            xcb_get_property_cookie_t netName, name, wmClass;
        };
        QList<Asked> asked;
        asked.reserve(count);
        for (int i = 0; i < count; ++i) {
            const xcb_window_t w = children[i];
            asked.append({xcb_get_window_attributes(m_c, w), xcb_get_geometry(m_c, w),
                          xcb_translate_coordinates(m_c, w, m_root, 0, 0),
                          xcb_get_property(m_c, 0, w, netName, utf8, 0, 256),
                          xcb_get_property(m_c, 0, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 256),
                          xcb_get_property(m_c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256)});
        }
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
                xcb_get_window_attributes_reply(m_c, asked[i].attributes, nullptr), &std::free);
            std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
                xcb_get_geometry_reply(m_c, asked[i].geometry, nullptr), &std::free);
            std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> origin(
                xcb_translate_coordinates_reply(m_c, asked[i].origin, nullptr), &std::free);
            QString name = text(asked[i].netName);
            const QString plainName = text(asked[i].name);
            const QStringList classes = text(asked[i].wmClass).split(QChar(0));
            if (!attributes || !geometry || !origin)
                continue; // gone while it was read
            Window w;
            w.id = children[i];
            w.name = name.isEmpty() ? plainName : name;
            w.instance = classes.value(0);
            w.wmClass = classes.value(1);
            w.depth = depth;
            w.rect = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
            w.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            windows->append(w);
            addChildren(w.id, depth + 1, netName, utf8, windows);
        }
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
};

// Viewable windows named exactly title.
inline QList<Window> viewableNamed(const QList<Window>& tree, const QString& title) {
    QList<Window> found;
    for (const Window& w : tree) {
        if (w.viewable && w.name == title)
            found.append(w);
    }
    return found;
}

// Viewable windows of this WM_CLASS (either half, without regard to case).
inline QList<Window> viewableOfClass(const QList<Window>& tree, const QString& wmClass) {
    QList<Window> found;
    for (const Window& w : tree) {
        if (w.viewable && w.ofClass(wmClass))
            found.append(w);
    }
    return found;
}

// A program's tray icon: a viewable window named "Dalvenor" of the program's class, wider than
// a few pixels, nested inside a window of the panel's class (tint2's notification area).
inline std::optional<Window> dockedIcon(const QList<Window>& tree, const QString& programClass,
                                        const QString& panelClass = QStringLiteral("tint2")) {
    for (int i = 0; i < tree.size(); ++i) {
        if (tree[i].instance != panelClass)
            continue;
        for (int j = i + 1; j < tree.size() && tree[j].depth > tree[i].depth; ++j) {
            const Window& w = tree[j];
            if (w.name == QLatin1String("Dalvenor") && w.ofClass(programClass) &&
                w.rect.width() > 4 && w.viewable)
                return w;
        }
    }
    return std::nullopt;
}

// A top-level window of the program of about the size of its tray menu (count items) that is
// viewable and was not among before (the countdown window is a top-level of the program too).
inline std::optional<Window> newMenu(const QList<Window>& tree, const QString& programClass,
                                     const QSet<quint32>& before, int count) {
    for (const Window& w : tree) {
        if (w.depth == 1 && w.viewable && w.ofClass(programClass) && w.rect.width() >= 80 &&
            w.rect.height() >= count * 14 && w.rect.height() <= count * 40 &&
            !before.contains(w.id))
            return w;
    }
    return std::nullopt;
}

inline QSet<quint32> ids(const QList<Window>& windows) {
    QSet<quint32> found;
    for (const Window& w : windows)
        found.insert(w.id);
    return found;
}

// The centre of item index of a menu of count items of equal height: a third in from its left,
// where the captions are.
inline QPoint menuItemPoint(const QRect& menu, int index, int count) {
    const int itemHeight = menu.height() / count;
    return QPoint(menu.left() + menu.width() / 3, menu.top() + itemHeight * index + itemHeight / 2);
}

// xdotool moving the pointer to point and clicking button there.
inline void click(const QProcessEnvironment& env, const QPoint& point, int button = 1) {
    run(env, QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y()),
         QStringLiteral("click"), QString::number(button)});
}

} // namespace desktopkit
