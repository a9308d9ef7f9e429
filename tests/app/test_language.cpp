// The language file: reading its records, translating texts and whole windows, message boxes.
#include "ui/WindowRoutines.h"
#include "app/LanguageFile.h"
#include "app/modInternationalisation.h"
#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace {
struct LanguageFixture : ::testing::Test {
    QTemporaryDir dir;
    bool load(const QByteArray& bytes)
    {
        QFile f(dir.filePath("LANGUAGE.TXT"));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        return LoadLanguageFileFrom(f.fileName());
    }
    void TearDown() override { UnloadLanguage(); }
};
} // namespace

TEST(LanguageFileText, QuotedFieldsCommasAndDoubledQuotes)
{
    const auto r = ParseLanguageFileText(
        "\"Exit\",\"Beenden\"\r\n"
        "\"a, b\",\"c, d\"\n"
        "\"say \"\"hi\"\"\",\"sag \"\"hallo\"\"\"\n"
        "\n"
        "\"???Close\",\"Schließen\"\n"
        "  unquoted  , also unquoted \n"
        "\"only one field\"\n"
        "\"empty\",\"\"\n");
    ASSERT_EQ(r.size(), 6);
    EXPECT_EQ(r[0], qMakePair(QString("Exit"), QString("Beenden")));
    EXPECT_EQ(r[1], qMakePair(QString("a, b"), QString("c, d")));
    EXPECT_EQ(r[2], qMakePair(QString("say \"hi\""), QString("sag \"hallo\"")));
    EXPECT_EQ(r[3], qMakePair(QString("Close"), QString("Schließen")));
    EXPECT_EQ(r[4], qMakePair(QString("unquoted"), QString("also unquoted")));
    EXPECT_EQ(r[5], qMakePair(QString("empty"), QString()));
}

TEST(LanguageFileText, Utf8WithLatin1Fallback)
{
    EXPECT_EQ(DecodeLanguageFileText("\xEF\xBB\xBF\"\xC3\xA4\""), "\"\u00e4\"");
    EXPECT_EQ(DecodeLanguageFileText("\"Gr\xFC\xDF""e\""), QString::fromUtf8("\"Grüße\""));   // Latin-1 bytes
    EXPECT_EQ(DecodeLanguageFileText("\"\xEF\xBF\xBD\""), QString("\"") + QChar(0xFFFD) + "\"");  // valid UTF-8 stays
}

TEST_F(LanguageFixture, AbsentFileLeavesEnglish)
{
    EXPECT_FALSE(LoadLanguageFileFrom(dir.filePath("missing.txt")));
    EXPECT_EQ(Translate("Exit"), "Exit");
    EXPECT_TRUE(UntranslatedTexts().isEmpty());
    QWidget w;
    w.setWindowTitle("Exit");
    auto* lbl = new QLabel("Exit", &w);
    lbl->setObjectName("lblX");
    TranslateForm(&w);
    EXPECT_EQ(lbl->text(), "Exit");
}

TEST_F(LanguageFixture, KeysIgnoreCaseFirstEntryWinsEmptyKeepsEnglish)
{
    ASSERT_TRUE(load("\"EXIT\",\"Beenden\"\n\"exit\",\"Raus\"\n\"???Close\",\"Schlie\xC3\x9F""en\"\n\"Open\",\"\"\n"));
    EXPECT_EQ(Translate("Exit"), "Beenden");
    EXPECT_EQ(Translate("exit"), "Beenden");
    EXPECT_EQ(Translate("Close"), QString::fromUtf8("Schließen"));
    EXPECT_EQ(Translate("Open"), "Open");
    EXPECT_EQ(Translate(""), "");
    EXPECT_EQ(Translate("Open"), "Open");
    EXPECT_EQ(UntranslatedTexts(), QStringList{"???Open"});   // noted once
}

TEST_F(LanguageFixture, TranslateFormWalksControlsByPrefix)
{
    ASSERT_TRUE(load("\"Exit\",\"Beenden\"\n\"Window\",\"Fenster\"\n\"Date\",\"Datum\"\n\"Logger\",\"Gerät\"\n"));
    QWidget w;
    w.setWindowTitle("Window");
    auto make = [&](QWidget* c, const char* name) { c->setObjectName(name); c->setParent(&w); return c; };
    auto* lbl = static_cast<QLabel*>(make(new QLabel("Exit"), "lblA"));
    auto* cmd = static_cast<QPushButton*>(make(new QPushButton("Exit"), "cmdClose"));
    auto* fra = static_cast<QGroupBox*>(make(new QGroupBox("Exit"), "fraOptions"));
    auto* txt = static_cast<QLabel*>(make(new QLabel("Exit"), "txtPosition"));
    auto* other = static_cast<QLabel*>(make(new QLabel("Exit"), "xyzLabel"));
    auto* tab = static_cast<QTabWidget*>(make(new QTabWidget(), "tabOptions"));
    tab->addTab(new QWidget, "Logger");
    tab->addTab(new QWidget, "Date");
    auto* menu = new QMenu("Logger", &w);
    menu->setObjectName("mnuLogger");
    auto* act = new QAction("Exit", &w);
    act->setObjectName("mnuLogger1_0");
    TranslateForm(&w);
    EXPECT_EQ(w.windowTitle(), "Fenster");
    EXPECT_EQ(lbl->text(), "Beenden");
    EXPECT_EQ(cmd->text(), "Beenden");
    EXPECT_EQ(fra->title(), "Beenden");
    EXPECT_EQ(txt->text(), "Exit");
    EXPECT_EQ(other->text(), "Exit");
    EXPECT_EQ(tab->tabText(0), QString::fromUtf8("Gerät"));
    EXPECT_EQ(tab->tabText(1), "Datum");
    EXPECT_EQ(menu->title(), QString::fromUtf8("Gerät"));
    EXPECT_EQ(act->text(), "Beenden");
}

TEST(Messages, HandlerAnswersAndTitleDefaultsToProductName)
{
    QString seenTitle;
    int seenStyle = -1;
    SetMessageHandler([&](const QString&, int style, const QString& title) {
        seenTitle = title;
        seenStyle = style;
        return int(vbYes);
    });
    EXPECT_EQ(ShowMessage("Really?", vbYesNo + vbQuestion), vbYes);
    EXPECT_EQ(seenTitle, "NORDALIS");
    EXPECT_EQ(seenStyle, vbYesNo + vbQuestion);
    ShowMessage("x", vbCritical, "Error in LoggerImageToDB");
    EXPECT_EQ(seenTitle, "Error in LoggerImageToDB");
    SetMessageHandler(nullptr);
}
