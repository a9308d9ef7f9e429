#include "ui/WindowPlacement.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"

#include <QApplication>
#include <QMargins>

#include <algorithm>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QStringList>
#include <QWidget>

namespace {
const char* const kWindowsKey = "Software\\NORDALIS\\Standard\\Windows";
const char* const kPlacedProperty = "nordalisPlaced";

QString restrictedMark() { return QStringLiteral(" \u2014 ") + Translate("restricted mode"); }

bool isWorkingWindow(const QWidget* w)
{
    return w && w->isWindow() && w->objectName().startsWith(QLatin1String("frm"));
}

// The main menu and the splash keep the size they were designed with.
bool keepsDesignSize(const QWidget* w)
{
    return w->objectName() == QLatin1String("frmMainMenue") || w->objectName() == QLatin1String("frmSplash");
}

// Every window but the splash opens where it was left.
bool remembersPlace(const QWidget* w)
{
    return w->objectName() != QLatin1String("frmSplash");
}

QWidget* mainMenu()
{
    QWidget* hidden = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmMainMenue")) {
            if (w->isVisible()) return w;
            if (!hidden) hidden = w;
        }
    return hidden;
}

QRect availableScreen(const QWidget* w, const QRect& over)
{
    QScreen* s = nullptr;
    if (!over.isEmpty()) s = QGuiApplication::screenAt(over.center());
    if (!s && w->screen()) s = w->screen();
    if (!s) s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect();
}

bool onSomeScreen(const QRect& frame)
{
    for (QScreen* s : QGuiApplication::screens())
        if (s->availableGeometry().intersected(frame).width() >= 100 &&
            s->availableGeometry().contains(QPoint(frame.center().x(), frame.top() + 10)))
            return true;
    return false;
}

// The window manager's frame around the window. It is not known before a window is first
// mapped: then take the frame of one that has been (the main menu).
QMargins frameOf(const QWidget* w, const QWidget* menu)
{
    const QWidget* known = w->frameGeometry() != w->geometry() || !menu ? w : menu;
    const QRect f = known->frameGeometry(), g = known->geometry();
    const QMargins m(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
    auto sane = [](int v) { return std::clamp(v, 0, 100); };
    return QMargins(sane(m.left()), sane(m.top()), sane(m.right()), sane(m.bottom()));
}

// Puts the window's frame at `topLeft`. Before its first mapping a window is placed by its inner
// corner, so the frame's margins are added there.
void moveFrameTo(QWidget* w, QPoint topLeft, const QMargins& frame)
{
    const bool mapped = w->frameGeometry() != w->geometry();
    w->move(mapped ? topLeft : topLeft + QPoint(frame.left(), frame.top()));
}

void place(QWidget* w)
{
    const QString name = w->objectName();
    QWidget* menu = mainMenu();
    if (menu == w) menu = nullptr;
    const QMargins frame = frameOf(w, menu);
    const QSize frameExtra(frame.left() + frame.right(), frame.top() + frame.bottom());
    if (remembersPlace(w)) {
        const QRect stored = StoredWindowGeometry(name);
        // The main menu comes back to its place in its design size; the others also in theirs.
        const QSize size = keepsDesignSize(w) ? w->size() : stored.size().expandedTo(w->minimumSizeHint());
        if (stored.isValid() && onSomeScreen(QRect(stored.topLeft(), size + frameExtra))) {
            w->resize(size);
            moveFrameTo(w, stored.topLeft(), frame);
            return;
        }
    }
    QRect over;
    if (menu && !keepsDesignSize(w)) over = menu->frameGeometry();
    else if (w->parentWidget() && w->parentWidget()->window() != w) over = w->parentWidget()->window()->frameGeometry();
    const QRect screen = availableScreen(w, over);
    if (screen.isEmpty()) return;
    // Title bar and border must fit on the screen too.
    const QRect r = CentredPlacement(w->size() + frameExtra, over, screen);
    const QSize inner = r.size() - frameExtra;
    if (inner != w->size()) w->resize(inner);
    moveFrameTo(w, r.topLeft(), frame);
}

class WindowPlacementFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        auto* w = qobject_cast<QWidget*>(o);
        if (!isWorkingWindow(w)) return false;
        switch (e->type()) {
        case QEvent::Show:
            if (!w->property(kPlacedProperty).toBool()) {
                w->setProperty(kPlacedProperty, true);
                place(w);
            }
            markTitle(w);
            break;
        case QEvent::WindowTitleChange:
            markTitle(w);
            break;
        case QEvent::Hide:
        case QEvent::Close:
            if (w->property(kPlacedProperty).toBool() && remembersPlace(w))
                StoreWindowGeometry(w->objectName(), QRect(w->pos(), w->size()));
            break;
        default:
            break;
        }
        return false;
    }

private:
    void markTitle(QWidget* w)
    {
        if (!App().RestrictedMode || busy) return;
        const QString marked = MarkedWindowTitle(w->windowTitle(), true);
        if (marked == w->windowTitle()) return;
        busy = true;
        w->setWindowTitle(marked);
        busy = false;
    }
    bool busy = false;
};
} // namespace

QString MarkedWindowTitle(const QString& title, bool restricted)
{
    const QString mark = restrictedMark();
    QString base = title;
    if (base.endsWith(mark)) base.chop(mark.size());
    return restricted ? base + mark : base;
}

QRect CentredPlacement(QSize size, const QRect& over, const QRect& screen)
{
    const QSize fitted = size.boundedTo(screen.size());
    const QPoint centre = over.isEmpty() ? screen.center() : over.center();
    QRect r(QPoint(0, 0), fitted);
    r.moveCenter(centre);
    if (r.right() > screen.right()) r.moveRight(screen.right());
    if (r.bottom() > screen.bottom()) r.moveBottom(screen.bottom());
    if (r.left() < screen.left()) r.moveLeft(screen.left());
    if (r.top() < screen.top()) r.moveTop(screen.top());
    return r;
}

QRect StoredWindowGeometry(const QString& windowName)
{
    // "left top width height" of the frame's corner and the inner size.
    const QStringList parts = ReadRegistry(kWindowsKey, windowName, QString()).toString().split(' ');
    if (parts.size() != 4) return {};
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].toInt(&ok);
        if (!ok) return {};
    }
    if (v[2] < 50 || v[3] < 50 || v[2] > 20000 || v[3] > 20000) return {};
    return QRect(v[0], v[1], v[2], v[3]);
}

void StoreWindowGeometry(const QString& windowName, const QRect& geometry)
{
    // A place that cannot be kept is no reason to bother the operator.
    const QString text = QString("%1 %2 %3 %4").arg(geometry.x()).arg(geometry.y()).arg(geometry.width()).arg(geometry.height());
    if (CreateRegistryKey(kWindowsKey)) (void)WriteRegistryValue(kWindowsKey, windowName, text);
}

namespace {
QPointer<WindowPlacementFilter>& installed()
{
    static QPointer<WindowPlacementFilter> filter;
    return filter;
}
} // namespace

void InstallWindowPlacement()
{
    if (installed() || !qApp) return;
    installed() = new WindowPlacementFilter(qApp);
    qApp->installEventFilter(installed());
}

void RemoveWindowPlacement()
{
    delete installed().data();
}
