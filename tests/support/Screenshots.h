#pragma once
// Pictures the tests leave for the eye, in <build>/screenshots.
#include <QDir>
#include <QString>

// A file name in the screenshots folder (made when missing).
inline QString ScreenshotPath(const QString& name)
{
    const QString folder = QStringLiteral(NORDALIS_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    return folder + "/" + name;
}
