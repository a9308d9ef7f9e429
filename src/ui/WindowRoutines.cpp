#include "ui/WindowRoutines.h"
#include "app/modInternationalisation.h"
#include "ui/WindowPlacement.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QTabWidget>
#include <QWidget>

void TranslateForm(QWidget* window)
{
    if (!LanguageLoaded() || !window)
        return;
    window->setWindowTitle(Translate(MarkedWindowTitle(window->windowTitle(), false)));
    // Controls are recognised by the first three letters of their objectName.
    for (QObject* o : window->findChildren<QObject*>()) {
        const QString prefix = o->objectName().left(3);
        if (prefix == "lbl") {
            if (auto* l = qobject_cast<QLabel*>(o)) l->setText(Translate(l->text()));
        } else if (prefix == "chk" || prefix == "cmd" || prefix == "opt") {
            if (auto* b = qobject_cast<QAbstractButton*>(o)) b->setText(Translate(b->text()));
        } else if (prefix == "fra") {
            if (auto* g = qobject_cast<QGroupBox*>(o)) g->setTitle(Translate(g->title()));
        } else if (prefix == "mnu") {
            if (auto* m = qobject_cast<QMenu*>(o)) m->setTitle(Translate(m->title()));
            else if (auto* a = qobject_cast<QAction*>(o)) {
                if (!a->menu()) a->setText(Translate(a->text()));
            }
        } else if (prefix == "tab") {
            if (auto* tw = qobject_cast<QTabWidget*>(o))
                for (int i = 0; i < tw->count(); ++i) tw->setTabText(i, Translate(tw->tabText(i)));
        }
    }
}

void ScaleForm(QWidget* window, int widthPixels, int heightPixels)
{
    if (!window) return;
    const QSize old = window->size();
    window->resize(widthPixels, heightPixels);
    if (old.width() <= 0 || old.height() <= 0 || old == QSize(widthPixels, heightPixels)) return;
    const double rx = double(widthPixels) / old.width();
    const double ry = double(heightPixels) / old.height();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        // Widgets placed by a layout follow it; windows of their own keep their size.
        QWidget* parent = w->parentWidget();
        if (w->isWindow() || !parent || parent->layout()) continue;
        const QRect g = w->geometry();
        w->setGeometry(int(g.x() * rx + 0.5), int(g.y() * ry + 0.5), int(g.width() * rx + 0.5), int(g.height() * ry + 0.5));
    }
}

namespace {
PrintDialogHandler& printHandler()
{
    static PrintDialogHandler h;
    return h;
}
} // namespace

void SetPrintDialogHandler(PrintDialogHandler handler) { printHandler() = std::move(handler); }

bool AskPrinter(QWidget* owner, QPrinter& printer)
{
    if (printHandler())
        return printHandler()(printer);
    QPrintDialog dialog(&printer, owner);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}
