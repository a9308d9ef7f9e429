// The web page report: placeholders, table split, border attribute, exception classes, the
// graph picture, escaping of every inserted text.
#include "ReportTestSupport.h"
#include "reports/WebReport.h"
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

WebReportContext context()
{
    WebReportContext c;
    c.NowText = "2026-12-07 02:30:00";
    c.AppVersion = "1.0.0";
    c.LocationID = "21";
    c.LocationDescription = "Depot <A&B>";
    c.UserName = "anna";
    c.ComputerName = "pc1";
    c.Format = TestDateTimeFormat;
    return c;
}

struct ReportDir {
    QTemporaryDir tmp;
    QString reports() const { return tmp.path() + "/reports"; }
    QString styles() const { return tmp.path() + "/reports/styles"; }
    ReportDir(const QString& header = "<html><body>[Header]|[header]|[Header]\n",
              const QString& footer = "[Footer]</body></html>")
    {
        QDir().mkpath(styles());
        write(styles() + "/plain header.htm", header);
        write(styles() + "/plain footer.htm", footer);
    }
    static void write(const QString& path, const QString& text)
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(text.toUtf8());
    }
    QString read(const QString& name) const
    {
        QFile f(reports() + "/" + name);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }
};

ExportData rows(int n, double first = 1.0)
{
    std::vector<std::pair<QString, double>> r;
    QDateTime t(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC);
    for (int i = 0; i < n; ++i)
        r.push_back({t.addSecs(i * 900).toString("yyyy-MM-dd HH:mm"), first + i});
    return SampleExport(r, false);
}

// Rows per inner table, in the order written.
std::vector<int> columnSizes(const QString& page)
{
    std::vector<int> sizes;
    const QStringList tables = page.split("<table CLASS=inner");
    for (int i = 1; i < tables.size(); ++i)
        sizes.push_back(int(tables[i].left(tables[i].indexOf("</table>")).count("<tr><td")));
    return sizes;
}

WebReportOptions options(const ReportDir& d)
{
    WebReportOptions o;
    o.Style = "plain";
    o.StylesDirectory = d.styles();
    return o;
}

} // namespace

TEST(WebReport, TableColumnsSplitSoThatEveryRowFits)
{
    EXPECT_EQ(clsWebReport::RowsPerColumn(10, 3), 4);
    EXPECT_EQ(clsWebReport::RowsPerColumn(8, 3), 3);
    EXPECT_EQ(clsWebReport::RowsPerColumn(4, 3), 2);
    EXPECT_EQ(clsWebReport::RowsPerColumn(0, 3), 0);

    ReportDir d;
    for (auto [n, expected] : {std::pair{10, std::vector<int>{4, 4, 2}}, {4, {2, 2}}, {8, {3, 3, 2}}, {1, {1}}}) {
        clsWebReport report(rows(n), ExportTexts(), context());
        ASSERT_TRUE(report.BuildReport(d.reports(), "t.htm", options(d), QImage()));
        const QString page = d.read("t.htm");
        EXPECT_EQ(columnSizes(page), expected) << n << " rows";
        // Rows in order over the columns: the last row of the first column is row 4.
        if (n == 10) {
            EXPECT_LT(page.indexOf("<td>01/03/26 10:45</td><td>4</td>"), page.indexOf("<table CLASS=inner", page.indexOf("CLASS=inner") + 1));
        }
    }
}

TEST(WebReport, BorderAttributeOnlyForAWidthAboveZero)
{
    ReportDir d;
    clsWebReport report(rows(2), ExportTexts(), context());
    WebReportOptions o = options(d);
    o.BorderWidth = "0";
    ASSERT_TRUE(report.BuildReport(d.reports(), "b0.htm", o, QImage()));
    QString page = d.read("b0.htm");
    EXPECT_TRUE(page.contains("<table CLASS=outer CELLSPACING=10>\r\n<tr>\r\n"));
    EXPECT_TRUE(page.contains("<table CLASS=inner>\r\n"));
    EXPECT_FALSE(page.contains("border="));
    o.BorderWidth = "3";
    ASSERT_TRUE(report.BuildReport(d.reports(), "b3.htm", o, QImage()));
    page = d.read("b3.htm");
    EXPECT_TRUE(page.contains("<table CLASS=outer CELLSPACING=10 border=3>"));
    EXPECT_TRUE(page.contains("<table CLASS=inner border=3>"));
    EXPECT_TRUE(page.contains("<td valign=\"top\">"));
    EXPECT_TRUE(page.contains("<tr>\r\n<th>Date</th>\r\n<th>°C</th>\r\n</tr>\r\n"));
}

TEST(WebReport, ExceptionsMarkedAtAndBeyondTheAlarmLevels)
{
    ReportDir d;
    ExportData data = SampleExport({{"2026-03-01 10:00", 8.0}, {"2026-03-01 10:15", 5.0}, {"2026-03-01 10:30", 2.0},
                                    {"2026-03-01 10:45", 9.5}}, false);
    data.AlarmMax = 8;
    data.AlarmMin = 2;
    data.rows[3].text = "9.5";
    clsWebReport report(data, ExportTexts(), context());
    WebReportOptions o = options(d);
    ASSERT_TRUE(report.BuildReport(d.reports(), "plain.htm", o, QImage()));
    EXPECT_FALSE(d.read("plain.htm").contains("CLASS=high"));
    o.MarkExceptions = true;
    ASSERT_TRUE(report.BuildReport(d.reports(), "x.htm", o, QImage()));
    const QString page = d.read("x.htm");
    EXPECT_TRUE(page.contains("<tr><td CLASS=high>01/03/26 10:00</td><td CLASS=high>8</td></tr>"));
    EXPECT_TRUE(page.contains("<tr><td>01/03/26 10:15</td><td>5</td></tr>"));
    EXPECT_TRUE(page.contains("<tr><td CLASS=low>01/03/26 10:30</td><td CLASS=low>2</td></tr>"));
    EXPECT_TRUE(page.contains("<tr><td CLASS=high>01/03/26 10:45</td><td CLASS=high>9.5</td></tr>"));
}

TEST(WebReport, PlaceholdersReplacedWithLetterCaseRespected)
{
    ReportDir d("[Header]|[header]|[Header]|[Subheader]|[Date]|[RecordCount]|[FirstDate]|[LastDate]|"
                "[AlarmMin]|[AlarmMax]|[AppVersion]|[LocationID]|[LocationDescription]|[UserName]|[ComputerName]",
                "[Footer]|[RECORDCOUNT]");
    ExportData data = rows(3);
    clsWebReport report(data, ExportTexts(), context());
    WebReportOptions o = options(d);
    o.Table = false;
    o.Graph = true;
    QImage graph(40, 30, QImage::Format_RGB32);
    graph.fill(Qt::white);
    ASSERT_TRUE(report.BuildReport(d.reports(), "p.htm", o, graph));
    const QString expected =
        "2180543,cold room &lt;north&gt;|[header]|2180543,cold room &lt;north&gt;|samples, (°C)|2026-12-07 02:30:00|3|"
        "01/03/26 10:00|01/03/26 10:30|-40 °C|80 °C|1.0.0|21|Depot &lt;A&amp;B&gt;|anna|pc1\r\n"
        "<p><img src=\"p graph.png\" alt=\"graph\"></p>\r\n"
        "Graph produced by NORDALIS 07.12.2026|[RECORDCOUNT]\r\n";
    EXPECT_EQ(d.read("p.htm"), expected);
}

TEST(WebReport, ScriptInADescriptionIsShownAsText)
{
    ReportDir d("<h1>[Header]</h1>\n", "</html>");
    ExportData data = rows(2);
    data.GraphHeader = "2180543,<script>alert('x')</script>";
    data.UnitText = "°C<b>";
    clsWebReport report(data, ExportTexts(), context());
    ASSERT_TRUE(report.BuildReport(d.reports(), "s.htm", options(d), QImage()));
    const QString page = d.read("s.htm");
    EXPECT_FALSE(page.contains("<script"));
    EXPECT_FALSE(page.contains("<b>"));
    EXPECT_TRUE(page.contains("<h1>2180543,&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;</h1>"));
    EXPECT_TRUE(page.contains("<th>°C&lt;b&gt;</th>"));
    // A placeholder inside an inserted text stays text.
    data.GraphHeader = "[ComputerName]";
    clsWebReport second(data, ExportTexts(), context());
    ASSERT_TRUE(second.BuildReport(d.reports(), "s.htm", options(d), QImage()));
    EXPECT_TRUE(d.read("s.htm").startsWith("<h1>[ComputerName]</h1>"));
}

TEST(WebReport, GraphPictureWrittenAsPngBesideThePage)
{
    EXPECT_EQ(clsWebReport::GraphPictureName("x.htm"), "x graph.png");
    EXPECT_EQ(clsWebReport::GraphPictureName("x.html"), "x graph.png");
    EXPECT_EQ(clsWebReport::GraphPictureName("x.HTM"), "x graph.png");
    EXPECT_EQ(clsWebReport::GraphPictureName("x"), "x graph.png");
    EXPECT_EQ(clsWebReport::DefaultFileName("0000001.001.01", QDate(2004, 3, 7)), "0000001.001.01  040307.htm");

    ReportDir d;
    QImage graph(200, 100, QImage::Format_RGB32);
    graph.fill(Qt::white);
    graph.setPixel(10, 10, qRgb(255, 0, 0));
    clsWebReport report(rows(2), ExportTexts(), context());
    WebReportOptions o = options(d);
    o.Graph = true;
    o.Table = false;
    ASSERT_TRUE(report.BuildReport(d.reports(), "0000001.001.01  040307.html", o, graph));
    EXPECT_TRUE(d.read("0000001.001.01  040307.html").contains(
        "\r\n<p><img src=\"0000001.001.01  040307 graph.png\" alt=\"graph\"></p>\r\n"));
    QImage back(d.reports() + "/0000001.001.01  040307 graph.png", "PNG");
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.size(), QSize(200, 100));
    EXPECT_EQ(back.pixel(10, 10), qRgb(255, 0, 0));
}

TEST(WebReport, StylesListedAndAMissingTemplateStopsTheBuild)
{
    ReportDir d;
    ReportDir::write(d.styles() + "/other header.htm", "x");
    ReportDir::write(d.styles() + "/notastyle.htm", "x");
    EXPECT_EQ(clsWebReport::StyleNames(d.styles()), (QStringList{"other", "plain"}));
    clsWebReport report(rows(2), ExportTexts(), context());
    WebReportOptions o = options(d);
    o.Style = "other";
    QString error;
    ReportDir::write(d.reports() + "/o.htm", "the page before");
    EXPECT_FALSE(report.BuildReport(d.reports(), "o.htm", o, QImage(), &error));
    EXPECT_TRUE(error.contains("other footer.htm"));
    // The page is replaced only when complete: the one that was there stays as it was.
    EXPECT_EQ(d.read("o.htm"), "the page before");
    // Templates are cut after 20000 characters.
    ReportDir::write(d.styles() + "/long header.htm", QString(20005, 'a') + "[Header]");
    ReportDir::write(d.styles() + "/long footer.htm", "");
    o.Style = "long";
    o.Table = false;
    o.Graph = true;
    QImage graph(40, 30, QImage::Format_RGB32);
    graph.fill(Qt::white);
    ASSERT_TRUE(report.BuildReport(d.reports(), "l.htm", o, graph));
    EXPECT_EQ(d.read("l.htm"), QString(20000, 'a') + "\r\n<p><img src=\"l graph.png\" alt=\"graph\"></p>\r\n\r\n");
    // Neither table nor graph would be an empty page: refused, nothing written.
    o.Graph = false;
    EXPECT_FALSE(report.BuildReport(d.reports(), "e.htm", o, graph, &error));
    EXPECT_TRUE(error.contains("display table")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(d.reports() + "/e.htm"));
}

TEST(WebReport, ShippedStylesHaveBothTemplatesAndTheTableClasses)
{
    const QString dir = QString(NORDALIS_SOURCE_DIR) + "/resources/home/reports/styles";
    const QStringList styles = clsWebReport::StyleNames(dir);
    EXPECT_GE(styles.size(), 2);
    for (const QString& s : styles) {
        EXPECT_TRUE(QFile::exists(dir + "/" + s + " footer.htm")) << s.toStdString();
        QFile f(dir + "/" + s + " header.htm");
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        EXPECT_TRUE(text.contains("[Header]") && text.contains("td.high") && text.contains("td.low")) << s.toStdString();
    }
}
