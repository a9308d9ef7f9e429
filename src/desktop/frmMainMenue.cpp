#include "desktop/frmMainMenue.h"
#include "desktop/Startup.h"
#include "app/modInternationalisation.h"
#include "ui/WindowRoutines.h"
#include "app/modMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>

#include "app/WindowHooks.h"
#include "db/clsDatabase.h"

namespace {

void closeDatabase()
{
    AppDatabase().CloseDB();
}

// Brings the main menu back once a working window has really closed (a window may refuse).
class WorkingWindowWatch : public QObject {
public:
    using QObject::QObject;
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close) {
            QPointer<QWidget> w = qobject_cast<QWidget*>(watched);
            QTimer::singleShot(0, [w] {
                if (!w || !w->isVisible()) ShowMainMenu();
            });
        }
        return false;
    }
};

// Pictures of the three window buttons, drawn so that no image files are needed.
QPixmap buttonPicture(int index)
{
    QPixmap pm(40, 40);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue(29, 78, 137);
    p.setPen(QPen(blue, 2));
    if (index == 0) {            // a logger in its cable
        p.setBrush(QColor(200, 205, 215));
        p.drawEllipse(QRectF(6, 6, 28, 28));
        p.setBrush(QColor(160, 165, 175));
        p.drawEllipse(QRectF(12, 12, 16, 16));
        p.drawLine(34, 20, 40, 20);
    } else if (index == 1) {     // a graph
        p.setBrush(Qt::NoBrush);
        p.drawLine(5, 35, 36, 35);
        p.drawLine(5, 35, 5, 4);
        p.setPen(QPen(QColor(200, 30, 30), 2));
        QPainterPath path(QPointF(6, 26));
        path.cubicTo(14, 8, 20, 34, 28, 16);
        path.lineTo(36, 12);
        p.drawPath(path);
    } else {                     // a tree of compartments
        p.setBrush(QColor(230, 235, 245));
        p.drawRect(4, 4, 14, 10);
        p.drawRect(22, 16, 14, 8);
        p.drawRect(22, 28, 14, 8);
        p.drawLine(11, 14, 11, 32);
        p.drawLine(11, 20, 22, 20);
        p.drawLine(11, 32, 22, 32);
    }
    return pm;
}
} // namespace

QString WorkingWindowName(int index)
{
    static const char* const names[3] = {"NORDALIS READ LOGGER", "NORDALIS DATA DISPLAY", "NORDALIS SETTINGS"};
    return (index >= 0 && index < 3) ? QString(names[index]) : QString();
}

frmMainMenue::frmMainMenue(QWidget* parent) : QWidget(parent)
{
    setObjectName("frmMainMenue");
    resize(470, 330);
    fraBorder = new QGroupBox(this);
    fraBorder->setObjectName("fraBorder");
    fraBorder->setGeometry(8, 4, 454, 318);

    static const char* const titles[3] = {"&READ LOGGER", "&DISPLAY DATA", "&SETTINGS"};
    static const char* const texts[3] = {
        "Read and program loggers. Backup and restore logger data files. Display logger reading schedule.",
        "Display selected logger data as a graph and produce printed reports.",
        "Define storage compartments and logger locations. Load and process remote logger data. Maintain and backup data. Select COM port.",
    };
    for (int i = 0; i < 3; ++i) {
        const int top = 20 + i * 86;
        cmdMenue[i] = new QPushButton(fraBorder);
        cmdMenue[i]->setObjectName(QString("cmdMenue_%1").arg(i));
        cmdMenue[i]->setIcon(buttonPicture(i));
        cmdMenue[i]->setIconSize(QSize(40, 40));
        cmdMenue[i]->setGeometry(16, top, 60, 60);
        lblDescr[2 * i] = new QLabel(titles[i], fraBorder);
        lblDescr[2 * i]->setObjectName(QString("lblDescr_%1").arg(2 * i));
        lblDescr[2 * i]->setGeometry(90, top, 350, 20);
        lblDescr[2 * i]->setStyleSheet("font-weight: bold;");
        lblDescr[2 * i]->setBuddy(cmdMenue[i]);
        lblDescr[2 * i + 1] = new QLabel(texts[i], fraBorder);
        lblDescr[2 * i + 1]->setObjectName(QString("lblDescr_%1").arg(2 * i + 1));
        lblDescr[2 * i + 1]->setGeometry(90, top + 20, 350, 44);
        lblDescr[2 * i + 1]->setWordWrap(true);
        lblDescr[2 * i + 1]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    cmdMenue[3] = new QPushButton("&Help", fraBorder);
    cmdMenue[3]->setObjectName("cmdMenue_3");
    cmdMenue[3]->setGeometry(246, 278, 90, 28);
    cmdMenue[4] = new QPushButton("&End", fraBorder);
    cmdMenue[4]->setObjectName("cmdMenue_4");
    cmdMenue[4]->setGeometry(348, 278, 90, 28);
    for (int i = 0; i < 5; ++i)
        connect(cmdMenue[i], &QPushButton::clicked, this, [this, i] { cmdMenue_Click(i); });
    Form_Load();
}

void frmMainMenue::Form_Load()
{
    TranslateForm(this);
    ScaleForm(this, 470, 330);
    setMinimumSize(size().expandedTo(minimumSizeHint()));   // never smaller than designed
    setWindowTitle(QString(kProductName) + " " + kEditionName + " V" + VersionText());
    closeDatabase();
    if (App().RestrictedMode) {
        cmdMenue[2]->setEnabled(false);
        lblDescr[4]->setEnabled(false);
        lblDescr[5]->setEnabled(false);
    }
}

QWidget* frmMainMenue::workingWindow(int index) const
{
    return (index >= 0 && index < 3) ? m_windows[index].data() : nullptr;
}

void frmMainMenue::cmdMenue_Click(int index)
{
    if (index >= 0 && index < 3) {
        if (index == 2 && App().RestrictedMode) return;
        QWidget* w = m_windows[index];
        if (!w) {
            if (const auto& make = WorkingWindowFactory(index)) {
                w = make();
            } else {
                // Stand-in until the window's subsystem is there: an empty window of that name.
                w = new QWidget();
                w->setAttribute(Qt::WA_DeleteOnClose);
                w->setWindowTitle(WorkingWindowName(index));
                w->resize(640, 480);
            }
            if (!w) return;
            w->installEventFilter(new WorkingWindowWatch(w));
            m_windows[index] = w;
        }
        w->show();
        w->raise();
        w->activateWindow();
        hide();
    } else if (index == 3) {
        ShowHelp();
    } else if (index == 4) {
        // Ends at once: no window is asked to close, nothing is saved here.
        QCoreApplication::exit(0);
    }
}

void frmMainMenue::closeEvent(QCloseEvent* event)
{
    // Closing the menu window ends the program, as "&End" does - but only while the menu is what
    // the operator sees. A close request that reaches it while a working window is being opened
    // (its button pressed by the keyboard, or the window slow to build) or is already open in its
    // place was meant for that window: it must not end the program behind the operator's back.
    bool opening = false;
    for (int i = 0; i < 3; ++i) opening = opening || (cmdMenue[i] && cmdMenue[i]->isDown());
    if (!isVisible() || opening) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::exit(0);
}

frmMainMenue& MainMenu()
{
    static QPointer<frmMainMenue> menu;
    if (!menu) menu = new frmMainMenue();
    return *menu;
}

void ShowMainMenu()
{
    frmMainMenue& m = MainMenu();
    closeDatabase();
    m.show();
    m.raise();
    m.activateWindow();
}
