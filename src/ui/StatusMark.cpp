#include "ui/StatusMark.h"

#include "app/modInternationalisation.h"

#include <QGuiApplication>
#include <QPainter>

QPixmap StatusMarkPixmap(StatusMark mark, int size, qreal ratio)
{
    if (ratio <= 0)
        ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pm(QSize(size, size) * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = size / 8.0;   // margin
    const QRectF disc(m, m, size - 2 * m, size - 2 * m);
    const qreal pen = qMax(1.0, size / 12.0);
    switch (mark) {
    case StatusMark::Running:
        p.setPen(QPen(QColor(0x1b, 0x6e, 0x20), pen));
        p.setBrush(QColor(0x2e, 0xb8, 0x3a));
        p.drawEllipse(disc);
        break;
    case StatusMark::Stopped:
        p.setPen(QPen(QColor(0x5f, 0x63, 0x68), pen));
        p.setBrush(QColor(0xa8, 0xad, 0xb3));
        p.drawEllipse(disc);
        break;
    case StatusMark::NotRunning:
        p.setPen(QPen(QColor(0x8e, 0x10, 0x10), pen));
        p.setBrush(QColor(0xd9, 0x2b, 0x2b));
        p.drawEllipse(disc);
        p.setPen(QPen(Qt::white, qMax(1.5, size / 8.0), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(size * 0.32, size / 2.0), QPointF(size * 0.68, size / 2.0));
        break;
    case StatusMark::Absent:
        p.setPen(QPen(QColor(0x8a, 0x8f, 0x96), qMax(1.5, size / 8.0)));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(disc.adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2));
        break;
    }
    return pm;
}

QIcon StatusMarkIcon(StatusMark mark)
{
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addPixmap(StatusMarkPixmap(mark, size));
    return icon;
}

QString StatusMarkText(StatusMark mark)
{
    switch (mark) {
    case StatusMark::Running: return Translate(QStringLiteral("logger running"));
    case StatusMark::Stopped: return Translate(QStringLiteral("logger stopped"));
    case StatusMark::NotRunning: return Translate(QStringLiteral("logger connected but not running"));
    case StatusMark::Absent: return Translate(QStringLiteral("no logger connected"));
    }
    return QString();
}
