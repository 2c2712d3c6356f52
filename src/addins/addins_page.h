#pragma once

#include <QSet>
#include <QWidget>

#include <functional>

class AppContext;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// One page of 附加功能. A page is the size of the tab control and shares its coordinates, tab
// row included, because the design places every control that way. It owns its controls and
// their handlers; what the window as a whole does (its caption, showing and hiding, the drag)
// stays with the window.
class AddinsPage : public QWidget {
    Q_OBJECT
public:
    // A monotonic millisecond count, shared by the pages that measure real elapsed time.
    using MonotonicClock = std::function<qint64()>;

    AddinsPage(AppContext& context, QWidget* parent);

signals:
    // A press on one of the page's drag surfaces: the window is to follow the mouse.
    void dragRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    // A press on the surface drags the window instead of reaching the control. Surfaces are
    // the page's own controls, which live as long as the page.
    void addDragSurface(QWidget* surface);

    // Controls at their design rectangles in twips, named as the design names them.
    QLabel* addLabel(QWidget* parent, const char* name, const QString& text, double left,
                     double top, double width, double height);
    QLineEdit* addTextBox(QWidget* parent, const char* name, double left, double top, double width,
                          double height);
    QComboBox* addCombo(QWidget* parent, const char* name, double left, double top);
    QPushButton* addButton(QWidget* parent, const char* name, const QString& text, double left,
                           double top, double width, double height);

    // A warning over the window, under its caption.
    void warn(const QString& text);
    // A save failed: the writer's reason, and that nothing was lost.
    void warnNotSaved(const QString& error);

    AppContext& m_context;

private:
    QSet<const QObject*> m_dragSurfaces;
};
