// The one check of files written on request, on a real application directory: the places and
// names of the program's own data, reached also through a link, a folder and the endings.
#include "app/OutputFile.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class OutputFileCheck : public ::testing::Test {
protected:
    QTemporaryDir dir;
    AppState kept;

    void SetUp() override
    {
        kept = App();
        App().ApplicationDirectory = dir.filePath("home");
        App().DataDirectory = App().DatabaseDirectory = dir.filePath("home/data");
        App().BackupDirectory = dir.filePath("home/data/backup");
        for (const char* sub : {"home/data/backup", "home/data/rejected", "home/reports/styles", "out"})
            QDir().mkpath(dir.filePath(sub));
        for (const char* f : {"home/NORDALIS.htm", "registry.ini", "home/reports/styles/standard header.htm"}) {
            QFile file(dir.filePath(f));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        SetRegistryFile(dir.filePath("registry.ini"));
    }
    void TearDown() override
    {
        SetRegistryFile(QString());
        App() = kept;
    }
    QString refusal(const QString& name, OutputKind kind = OutputKind::WebPage) const
    {
        return RefuseOutputFile(dir.filePath(name), kind);
    }
};

} // namespace

TEST_F(OutputFileCheck, TheProgramsOwnPlacesAreRefusedWithTheirReason)
{
    const std::vector<std::pair<QString, QString>> refused{
        {"out/other.mde", "database file"},          // any database file, any letter case
        {"out/NORDALIS.Mde-SHM", "database file"},
        {"out/x.DTA", "logger file"},
        {"out/x.alh", "companion"},
        {"home/data/backup/page.htm", "backup folder"},
        {"home/data/rejected/page.htm", "rejected"},
        {"home/reports/styles/standard header.htm", "report templates"},
        {"home/reports/styles/new.htm", "report templates"},
        {"home/NORDALIS.htm", "help page"},
        {"home/reports/../NORDALIS.htm", "help page"},
        {"out", "folder"},
    };
    for (const auto& [name, reason] : refused) {
        const QString why = refusal(name);
        EXPECT_TRUE(why.contains(reason) && why.contains("Nothing was written")) << name.toStdString() << ": "
                                                                                 << why.toStdString();
    }
    EXPECT_TRUE(RefuseOutputFile(dir.filePath("registry.ini"), OutputKind::WebPage).contains("configuration store"));
    // A link named like a web page that leads to the help page says where it leads.
    ASSERT_TRUE(QFile::link(dir.filePath("home/NORDALIS.htm"), dir.filePath("out/help.htm")));
    const QString why = refusal("out/help.htm");
    EXPECT_TRUE(why.contains("help.htm (that is ") && why.contains("NORDALIS.htm") && why.contains("help page"))
        << why.toStdString();
    EXPECT_TRUE(RefuseOutputFile("  ", OutputKind::Pdf).contains("No file name"));
}

TEST_F(OutputFileCheck, EachKindTakesItsEndingsInAnyLetterCase)
{
    const std::vector<std::pair<OutputKind, QStringList>> kinds{
        {OutputKind::Spreadsheet, {"a.xlsx", "a.XLSX"}},
        {OutputKind::Document, {"a.docx", "a.ODT"}},
        {OutputKind::WebPage, {"a.htm", "a.html"}},
        {OutputKind::Pdf, {"a.pdf", "a.Pdf"}},
        {OutputKind::Picture, {"a.png"}},
    };
    for (const auto& [kind, good] : kinds) {
        for (const QString& name : good)
            EXPECT_TRUE(refusal("out/" + name, kind).isEmpty()) << name.toStdString();
        for (const char* bad : {"out/a", "out/a.txt", "out/a.xlsx.bak"}) {
            const QString why = refusal(bad, kind);
            EXPECT_TRUE(why.contains("must end in ." + OutputEndings(kind).first())) << why.toStdString();
        }
    }
    // A file beside the data that is none of the program's is an ordinary output.
    EXPECT_TRUE(refusal("home/data/summary.xlsx", OutputKind::Spreadsheet).isEmpty());
}
