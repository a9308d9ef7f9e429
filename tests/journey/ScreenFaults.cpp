#include "ScreenFaults.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>

namespace {
bool reallyVisible(const QWidget* w, const QWidget* top)
{
    for (const QWidget* p = w; p && p != top; p = p->parentWidget())
        if (!p->isVisible()) return false;
    return true;
}

} // namespace

// Captions that are empty or wider than the room they were given.
QStringList CaptionFaults(QWidget* window, const QStringList& mayBeEmpty)
{
    QStringList faults;
    for (QLabel* l : window->findChildren<QLabel*>()) {
        if (!reallyVisible(l, window) || l->objectName().isEmpty() || l->objectName().startsWith("qt_")) continue;
        if (!l->pixmap().isNull() || !l->picture().isNull()) continue;
        if (l->text().trimmed().isEmpty()) {
            if (!mayBeEmpty.contains(l->objectName())) faults << l->objectName() + " is empty";
        } else if (!l->wordWrap() && l->sizeHint().width() > l->width() + 1) {
            faults << QString("%1 \"%2\" is clipped (%3 > %4)")
                          .arg(l->objectName(), l->text()).arg(l->sizeHint().width()).arg(l->width());
        } else if (l->wordWrap() && l->heightForWidth(l->width()) > l->height() + 1) {
            faults << QString("%1 \"%2\" is cut off at the bottom (%3 > %4)")
                          .arg(l->objectName(), l->text()).arg(l->heightForWidth(l->width())).arg(l->height());
        }
    }
    for (QTabBar* bar : window->findChildren<QTabBar*>()) {
        // The bar shows its scroll arrows when the tab captions are wider than the bar.
        if (!reallyVisible(bar, window)) continue;
        bool arrows = false;
        for (QAbstractButton* arrow : bar->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
            arrows = arrows || arrow->isVisible();
        if (arrows)
            faults << QString("tab captions of %1 do not fit its width of %2")
                          .arg(bar->parentWidget() ? bar->parentWidget()->objectName() : QString())
                          .arg(bar->width());
    }
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (!reallyVisible(b, window) || b->objectName().isEmpty() || b->objectName().startsWith("qt_")) continue;
        if (qobject_cast<QTabBar*>(b->parentWidget())) continue;   // the tab bar's own arrows
        if (b->text().isEmpty() && b->icon().isNull()) {
            if (!mayBeEmpty.contains(b->objectName())) faults << b->objectName() + " has no caption";
        } else if (!b->text().isEmpty() && b->sizeHint().width() > b->width() + 1) {
            faults << QString("%1 \"%2\" is clipped (%3 > %4)")
                          .arg(b->objectName(), b->text()).arg(b->sizeHint().width()).arg(b->width());
        }
    }
    return faults;
}

// Every caption of a window: title, labels, buttons, frames, tabs.
QStringList Captions(QWidget* window)
{
    QStringList out{window->windowTitle()};
    for (QLabel* l : window->findChildren<QLabel*>()) out << l->text();
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) out << b->text();
    for (QGroupBox* g : window->findChildren<QGroupBox*>()) out << g->title();
    for (QTabWidget* t : window->findChildren<QTabWidget*>())
        for (int i = 0; i < t->count(); ++i) out << t->tabText(i);
    out.removeAll(QString());
    return out;
}


namespace {
// The controls whose text or frame a person reads: leaves of the widget tree that show something.
bool isControl(const QWidget* w)
{
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractScrollArea*>(w) ||
           qobject_cast<const QGroupBox*>(w);
}

// Inside something that draws its own children over each other on purpose.
bool insideComposite(const QWidget* w, const QWidget* top)
{
    for (const QWidget* p = w->parentWidget(); p && p != top; p = p->parentWidget())
        if (qobject_cast<const QAbstractScrollArea*>(p) || qobject_cast<const QComboBox*>(p) ||
            qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QTabBar*>(p) ||
            qobject_cast<const QStatusBar*>(p) || qobject_cast<const QMenuBar*>(p))
            return true;
    return false;
}

bool isAncestor(const QWidget* a, const QWidget* b)
{
    for (const QWidget* p = b->parentWidget(); p; p = p->parentWidget())
        if (p == a) return true;
    return false;
}

QString nameOf(const QWidget* w)
{
    QString n = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    if (auto* l = qobject_cast<const QLabel*>(w)) n += " \"" + l->text().left(30) + "\"";
    else if (auto* b = qobject_cast<const QAbstractButton*>(w)) n += " \"" + b->text().left(30) + "\"";
    return n;
}
} // namespace

QStringList LayoutFaults(QWidget* window)
{
    QStringList faults;
    std::vector<std::pair<QWidget*, QRect>> shown;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->isWindow() || !isControl(w) || !reallyVisible(w, window) || insideComposite(w, window)) continue;
        if (w->objectName().startsWith("qt_")) continue;
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        if (r.isEmpty()) continue;
        if (!window->rect().contains(r))
            faults << QString("%1 lies outside the window (%2,%3 %4x%5 in %6x%7)")
                          .arg(nameOf(w)).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                          .arg(window->width()).arg(window->height());
        shown.emplace_back(w, r);
    }
    for (size_t i = 0; i < shown.size(); ++i)
        for (size_t j = i + 1; j < shown.size(); ++j) {
            auto [a, ra] = shown[i];
            auto [b, rb] = shown[j];
            if (isAncestor(a, b) || isAncestor(b, a)) continue;
            const QRect both = ra.intersected(rb);
            if (both.width() > 1 && both.height() > 1)
                faults << QString("%1 and %2 overlap").arg(nameOf(a), nameOf(b));
        }
    return faults;
}
