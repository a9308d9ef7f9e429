// The one rule for stored descriptions, strict UTF-8 and the escaping of texts for a terminal.
#include "app/TextRules.h"
#include <gtest/gtest.h>

namespace {
QString repeat(const QString& piece, int times)
{
    QString s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}
const QString kControl = QStringLiteral("the description may not hold control characters");
} // namespace

TEST(TextRules, DescriptionsAreBoundedAndFreeOfControlCharacters)
{
    EXPECT_EQ(CheckDescription("freezer 2, left door", true), "");
    EXPECT_EQ(CheckDescription(QString::fromUtf8("Kühlraum Süd"), true), "");
    // Characters, not bytes or UTF-16 units: 50 emoji (two units each) fit, 51 letters do not.
    EXPECT_EQ(CheckDescription(repeat("x", kMaxDescriptionLength), true), "");
    EXPECT_EQ(CheckDescription(repeat(QString::fromUtf8("\U0001F9CA"), kMaxDescriptionLength), true), "");
    EXPECT_EQ(CheckDescription(repeat("x", kMaxDescriptionLength + 1), true),
              "the description may be at most 50 characters long");
    EXPECT_EQ(CheckDescription(repeat("x", 100000), false), "the description may be at most 50 characters long");

    for (const QString& bad : {QString("red \x1b[31m"), QString("a\tb"), QString("a\nb"), QString("a") + QChar(3) + "b",
                               QString("a") + QChar(0) + "b", QString("del") + QChar(0x7F),
                               QString("c1 ") + QChar(0x85), QString("csi ") + QChar(0x9B) + "2J",
                               QString("line") + QChar(0x2028), QString("evil") + QChar(0x202E) + "txt.exe",
                               QString("half ") + QChar(0xD83D)}) {
        EXPECT_EQ(CheckDescription(bad, false), kControl) << bad.toStdString();
        // A control character counts before the length.
        EXPECT_EQ(CheckDescription(bad + repeat("x", 60), false), kControl);
    }

    // Names must say something; a position description may stay empty.
    EXPECT_EQ(CheckDescription("", true), "the description may not be empty");
    EXPECT_EQ(CheckDescription("   ", true), "the description may not be empty");
    EXPECT_EQ(CheckDescription("", false), "");
}

TEST(TextRules, Utf8IsDecodedStrictly)
{
    QString text = "unchanged";
    EXPECT_TRUE(DecodeUtf8Strictly(QByteArray("K\xc3\xbchlraum"), &text));
    EXPECT_EQ(text, QString::fromUtf8("Kühlraum"));
    EXPECT_TRUE(DecodeUtf8Strictly(QByteArray(), &text));
    EXPECT_EQ(text, "");
    text = "unchanged";
    for (const QByteArray& bad : {QByteArray("\xff"), QByteArray("abc\xc3"), QByteArray("\xc0\xaf"),
                                  QByteArray("\xe2\x82"), QByteArray("\xed\xa0\x80"), QByteArray("\xf4\x90\x80\x80"),
                                  QByteArray("K\xfchlraum")}) {
        EXPECT_FALSE(DecodeUtf8Strictly(bad, &text)) << bad.toHex().toStdString();
        EXPECT_EQ(text, "unchanged");
    }
}

TEST(TextRules, ControlCharactersAreWrittenOutForATerminal)
{
    EXPECT_EQ(EscapeControlCharacters(QString::fromUtf8("Kühlraum 1")), QString::fromUtf8("Kühlraum 1"));
    EXPECT_EQ(EscapeControlCharacters("\x1b[2J\x1b]0;owned\x07"), "\\x1B[2J\\x1B]0;owned\\x07");
    EXPECT_EQ(EscapeControlCharacters(QString("a") + QChar(0x9B) + "b\tc" + QChar(0x7F)), "a\\x9Bb\\x09c\\x7F");
    EXPECT_EQ(EscapeControlCharacters(QString("x") + QChar(0x202E) + "y"), "x\\u202Ey");
    const QString escaped = EscapeControlCharacters(QString("\x1b\r\n") + QChar(0x85));
    for (const QChar c : escaped)
        EXPECT_FALSE(IsControlCharacter(c.unicode()));
}
