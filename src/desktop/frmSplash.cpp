#include "desktop/frmSplash.h"
#include "desktop/Startup.h"
#include "app/modInternationalisation.h"
#include "ui/WindowRoutines.h"
#include "app/modMain.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>

frmSplash::frmSplash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName("frmSplash");
    setWindowTitle(kProductName);
    resize(600, 400);
    setStyleSheet("frmSplash { background: #f4f7fb; border: 1px solid #1d4e89; }");
    lblDescr[0] = new QLabel(this);
    lblDescr[0]->setObjectName("lblDescr_0");
    lblDescr[0]->setGeometry(39, 40, 522, 30);
    lblDescr[0]->setStyleSheet("font-size: 16pt; color: #1d4e89;");
    lblDescr[2] = new QLabel(kProductName, this);
    lblDescr[2]->setObjectName("lblDescr_2");
    lblDescr[2]->setGeometry(39, 80, 522, 80);
    lblDescr[2]->setStyleSheet("font-size: 40pt; font-weight: bold; color: #1d4e89;");
    lblDescr[1] = new QLabel(this);
    lblDescr[1]->setObjectName("lblDescr_1");
    lblDescr[1]->setGeometry(39, 170, 522, 60);
    lblDescr[1]->setStyleSheet("font-size: 12pt; color: #333;");
    picSplash = new QLabel(this);
    picSplash->setObjectName("picSplash");
    picSplash->setGeometry(39, 267, 522, 110);
    Form_Load();
}

void frmSplash::Form_Load()
{
    ScaleForm(this, 600, 400);
    picSplash->move(39, 267);
    // A missing or unreadable picture leaves the box empty.
    QPixmap pic;
    const QString path = App().SplashPicture;
    if (QFileInfo(path).isFile() && pic.load(path)) {
        picSplash->setPixmap(pic);
        picSplash->resize(pic.size().boundedTo(QSize(600 - 39, 400 - 267)));
        m_pictureLoaded = true;
    }
    picSplash->setVisible(true);
    lblDescr[1]->setText(QString(kEditionName) + "\n" + "V " + VersionText());
    lblDescr[0]->setText(Translate("Welcome to"));
}

void frmSplash::keyPressEvent(QKeyEvent* event)
{
    hide();
    emit dismissed();
    event->accept();
}
