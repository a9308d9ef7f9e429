// Files that are no regular files (a FIFO, /dev/zero) or are far too large: the reader refuses
// them before reading, and every program part that reads a file - logger files, the language
// file, the configuration store - answers with a clear message instead of a hang or an abort.
#include "app/RegularFile.h"
#include "app/modRegistry.h"
#include "support/CliProcess.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

bool makeFifo(const QString& path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }

bool isFifo(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class RegularFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }
    CliRun cli(const QStringList& args) { return RunCli(dir, args, false); }
    void init()
    {
        const CliRun r = cli({"init", "--site", "1234"});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(RegularFiles, TheReaderTakesOnlyRegularFilesWithinTheBound)
{
    writeFile(path("small"), "0123456789");
    RegularFileRead r = ReadRegularFile(path("small"), 10);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.bytes, "0123456789");
    r = ReadRegularFile(path("small"), 9);
    EXPECT_EQ(r.error, FileReadError::TooLarge);
    EXPECT_EQ(r.message, path("small") + " is too large: 10 bytes, at most 9 expected");
    r = ReadRegularFile(path("small"), 4, OverBound::ReadPrefix);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.bytes, "0123");
    writeFile(path("empty"), "");
    EXPECT_TRUE(ReadRegularFile(path("empty"), 10).ok());

    ASSERT_TRUE(makeFifo(path("fifo")));
    r = ReadRegularFile(path("fifo"), 100);   // would block for ever if it were opened
    EXPECT_EQ(r.error, FileReadError::NotRegular);
    EXPECT_EQ(r.message, path("fifo") + " is not a regular file but a FIFO");
    r = ReadRegularFile("/dev/zero", 100, OverBound::ReadPrefix);
    EXPECT_EQ(r.error, FileReadError::NotRegular);
    EXPECT_EQ(r.message, "/dev/zero is not a regular file but a character device");
    EXPECT_EQ(ReadRegularFile(dir.path(), 100).error, FileReadError::NotRegular);
    EXPECT_EQ(ReadRegularFile(path("missing"), 100).error, FileReadError::Missing);
    EXPECT_EQ(NonRegularFileKind(path("fifo")), "a FIFO");
    EXPECT_EQ(NonRegularFileKind(path("small")), "");
}

TEST_F(RegularFiles, LoggerFileVerbsRefuseDevicesFifosAndHugeFilesClearly)
{
    init();
    ASSERT_TRUE(makeFifo(path("logger.dta")));
    writeFile(path("huge.dta"), QByteArray(200000, '\1'));
    struct Case { QString file; QString message; };
    const Case cases[] = {
        {"/dev/zero", "/dev/zero is not a regular file but a character device"},
        {path("logger.dta"), path("logger.dta") + " is not a regular file but a FIFO"},
        {path("huge.dta"), path("huge.dta") + " is no logger file: 200000 bytes is larger than any logger image"},
    };
    for (const Case& c : cases) {
        for (const char* verb : {"dump", "store"}) {
            const CliRun r = cli({verb, c.file});
            EXPECT_EQ(r.code, 1) << verb << " " << c.file.toStdString() << ": " << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(c.message)) << verb << ": " << r.err.toStdString();
        }
    }
    EXPECT_EQ(SqliteScalar(path("home/data/NORDALIS.MDE"), "SELECT COUNT(*) FROM devices"), 0);

    // A FIFO among the waiting logger files is not taken for one.
    ASSERT_TRUE(makeFifo(path("home/data/0000000001 070605143012.dta")));
    const CliRun import = cli({"import"});
    EXPECT_EQ(import.code, 0) << import.err.toStdString();
    EXPECT_EQ(import.out, "all logger files processed\n");
    const CliRun named = cli({"import", "0000000001 070605143012.dta"});
    EXPECT_EQ(named.code, 2);
    EXPECT_TRUE(named.err.contains(path("home/data/0000000001 070605143012.dta") + " is not a regular file but a FIFO"))
        << named.err.toStdString();
}

TEST_F(RegularFiles, ALanguageFileThatIsNoFileLeavesTheProgramInEnglish)
{
    init();
    const QString language = path("home/LANGUAGE.TXT");
    ASSERT_TRUE(makeFifo(language));
    CliRun r = cli({"import"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "all logger files processed\n");
    EXPECT_TRUE(r.err.contains(language + " is not a regular file but a FIFO; the interface stays in English"))
        << r.err.toStdString();

    QFile::remove(language);
    writeFile(language, QByteArray(5 * 1024 * 1024, ' '));
    r = cli({"import"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(language + " is too large: 5242880 bytes, at most 4194304 expected; the interface stays in English"))
        << r.err.toStdString();
}

TEST_F(RegularFiles, AConfigurationStoreThatIsNoFileIsNeitherReadNorReplaced)
{
    init();
    const QString registry = path("registry.ini");
    QFile::remove(registry);
    ASSERT_TRUE(makeFifo(registry));
    // Like a folder in its place: said, and no verb runs on a store it cannot keep its values in.
    CliRun r = cli({"import"});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("configuration store: " + registry +
                               " is not a regular file but a FIFO; its values are neither read nor written"))
        << r.err.toStdString();
    EXPECT_EQ(r.err.count("configuration store:"), 1);   // said once, not at every access
    EXPECT_TRUE(isFifo(registry));                         // not written over

    // The same store named by $NORDALIS_REGISTRY, read and written inside this program.
    SetRegistryFile(QString());
    qputenv("NORDALIS_REGISTRY", QFile::encodeName(registry));
    EXPECT_EQ(RegistryFile(), registry);
    EXPECT_EQ(ReadTmexPortNum(), 1);   // the fall-back port
    EXPECT_FALSE(CreateRegistryKey(kTmexKey));
    EXPECT_FALSE(WriteRegistryValue(kTmexKey, "DefaultPortNum", QStringLiteral("7")));
    EXPECT_TRUE(RegistryError().contains("cannot be used")) << RegistryError().toStdString();
    EXPECT_EQ(ReadTmexPortNum(), 1);
    EXPECT_TRUE(isFifo(registry));
    qunsetenv("NORDALIS_REGISTRY");

    // A store far too large is left as it is, too.
    QFile::remove(registry);
    writeFile(registry, QByteArray(2 * 1024 * 1024, '#'));
    r = cli({"port", "set", "3"});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("configuration store: " + registry + " is too large")) << r.err.toStdString();
    EXPECT_EQ(QFileInfo(registry).size(), 2 * 1024 * 1024);
}
