// Opening a file with the desktop's program: a desktop that cannot show it is told apart from one
// that can, by what xdg-open answers.
#include "ui/WidgetUserInterface.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {
// An xdg-open in front of the real one on PATH, ending with the given status.
class FakeOpener {
public:
    explicit FakeOpener(int status)
    {
        QFile f(dir.filePath("xdg-open"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QString("#!/bin/sh\necho \"$1\" > '%1'\nexit %2\n").arg(dir.filePath("opened")).arg(status).toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFile::ExeOwner);
        oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.path()) + ":" + oldPath);
    }
    ~FakeOpener() { qputenv("PATH", oldPath); }
    QString opened() const
    {
        QFile f(dir.filePath("opened"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
    }
    QTemporaryDir dir;
    QByteArray oldPath;
};
} // namespace

TEST(DesktopOpener, AFileNoProgramCouldShowIsReportedAsNotOpened)
{
    WidgetUserInterface ui;
    {
        FakeOpener works(0);
        EXPECT_TRUE(ui.OpenWithDesktop("/tmp/report page.htm"));
        EXPECT_EQ(works.opened(), "/tmp/report page.htm");
    }
    {
        FakeOpener noProgram(3);   // xdg-open: no program found for the file
        EXPECT_FALSE(ui.OpenWithDesktop("/tmp/report page.htm"));
    }
    {
        FakeOpener failed(4);      // xdg-open: the program could not start
        EXPECT_FALSE(ui.OpenWithDesktop("/tmp/reports"));
    }
}
