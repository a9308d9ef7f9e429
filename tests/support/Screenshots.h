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

#include <QApplication>
#include <QPalette>

// A dark palette for as long as the object lives, for pictures of the windows in dark desktops.
class DarkPaletteForTest {
public:
    DarkPaletteForTest() : m_saved(QApplication::palette())
    {
        QPalette p;
        p.setColor(QPalette::Window, QColor(0x2b, 0x2d, 0x30));
        p.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
        p.setColor(QPalette::Base, QColor(0x1e, 0x1f, 0x22));
        p.setColor(QPalette::AlternateBase, QColor(0x27, 0x29, 0x2c));
        p.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
        p.setColor(QPalette::Button, QColor(0x3a, 0x3d, 0x41));
        p.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
        p.setColor(QPalette::Highlight, QColor(0x2f, 0x6f, 0xb5));
        p.setColor(QPalette::HighlightedText, Qt::white);
        p.setColor(QPalette::PlaceholderText, QColor(0xa0, 0xa4, 0xaa));
        p.setColor(QPalette::Link, QColor(0x7a, 0xb8, 0xff));
        p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
        p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
        QApplication::setPalette(p);
    }
    ~DarkPaletteForTest() { QApplication::setPalette(m_saved); }
    DarkPaletteForTest(const DarkPaletteForTest&) = delete;
    DarkPaletteForTest& operator=(const DarkPaletteForTest&) = delete;

private:
    QPalette m_saved;
};
