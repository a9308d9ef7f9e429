#include "reports/SpreadsheetExport.h"
#include "reports/ExportFormat.h"
#include "app/modInternationalisation.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <xlsxwriter.h>

void clsWorksheet::Offset(int rows, int columns)
{
    ActiveRow = std::max(0, ActiveRow + rows);
    ActiveColumn = std::max(0, ActiveColumn + columns);
}

clsWorksheet::Cell& clsWorksheet::ActiveCell()
{
    return m_cells[{ActiveRow, ActiveColumn}];
}

void clsWorksheet::SetText(const QString& text)
{
    Cell& c = ActiveCell();
    c.kind = Cell::Text;
    c.text = text;
    c.numFormat.clear();
    c.decimals = -1;
}

void clsWorksheet::SetNumber(double value, const QString& numFormat)
{
    Cell& c = ActiveCell();
    c.kind = Cell::Number;
    c.number = value;
    c.numFormat = numFormat;
    c.decimals = -1;
}

void clsWorksheet::SetValue(double value, int decimals)
{
    Cell& c = ActiveCell();
    c.kind = Cell::Number;
    c.number = RoundedToDecimals(value, decimals);
    c.numFormat = SignedValueFormat(decimals);
    c.decimals = decimals;
}

void clsWorksheet::SetDate(const QDateTime& time)
{
    Cell& c = ActiveCell();
    c.kind = Cell::Date;
    c.time = time;
    c.numFormat = cstDateFormat;
    c.decimals = -1;
}

void clsWorksheet::IncreaseFontSize(double points)
{
    ActiveCell().fontSize += points;
}

const clsWorksheet::Cell* clsWorksheet::CellAt(int row, int column) const
{
    auto it = m_cells.find({row, column});
    return it == m_cells.end() ? nullptr : &it->second;
}

double clsWorksheet::ColumnWidth(int column) const
{
    auto it = m_widths.find(column);
    return it == m_widths.end() ? 0.0 : it->second;
}

QString clsWorksheet::ShownText(const Cell& cell)
{
    switch (cell.kind) {
    case Cell::Date:
        return cell.time.toString("yyyy-MM-dd HH:mm:ss");
    case Cell::Number:
        if (cell.decimals >= 0)
            return (cell.number < 0 ? "-" : "+") + QString::number(std::fabs(cell.number), 'f', cell.decimals);
        return QString::number(cell.number, 'g', 10);
    default:
        return cell.text;
    }
}

void clsWorksheet::AutoFitColumn(int column)
{
    // Column widths are counted in characters of the default font; larger fonts take more.
    double widest = 0;
    for (const auto& [pos, cell] : m_cells) {
        if (pos.second != column)
            continue;
        const double w = ShownText(cell).size() * cell.fontSize / cstDefaultFontSize;
        widest = std::max(widest, w);
    }
    if (widest > 0)
        m_widths[column] = widest + 1.0;
}

clsWorksheet& clsWorksheet::ExcursionSheet()
{
    if (m_more.empty())
        m_more.resize(1);
    return m_more.front();
}

QString clsWorksheet::ExcursionSheetName() { return Translate("excursions"); }

void clsWorksheet::WriteTo(void* workbook, void* worksheet) const
{
    auto* book = static_cast<lxw_workbook*>(workbook);
    auto* ws = static_cast<lxw_worksheet*>(worksheet);
    std::map<std::pair<double, QString>, lxw_format*> formats;
    auto formatFor = [&](const Cell& c) -> lxw_format* {
        const auto key = std::make_pair(c.fontSize, c.numFormat);
        auto it = formats.find(key);
        if (it != formats.end())
            return it->second;
        lxw_format* f = workbook_add_format(book);
        format_set_font_size(f, c.fontSize);
        if (!c.numFormat.isEmpty())
            format_set_num_format(f, c.numFormat.toUtf8().constData());
        formats[key] = f;
        return f;
    };

    for (const auto& [col, width] : m_widths)
        worksheet_set_column(ws, lxw_col_t(col), lxw_col_t(col), width, nullptr);
    for (const auto& [pos, c] : m_cells) {
        const auto row = lxw_row_t(pos.first);
        const auto col = lxw_col_t(pos.second);
        lxw_format* f = formatFor(c);
        switch (c.kind) {
        case Cell::Text:
            if (c.text.isEmpty())
                worksheet_write_blank(ws, row, col, f);
            else
                worksheet_write_string(ws, row, col, c.text.toUtf8().constData(), f);
            break;
        case Cell::Number:
            worksheet_write_number(ws, row, col, c.number, f);
            break;
        case Cell::Date: {
            const QDate d = c.time.date();
            const QTime t = c.time.time();
            lxw_datetime dt{d.year(), d.month(), d.day(), t.hour(), t.minute(), double(t.second())};
            worksheet_write_datetime(ws, row, col, &dt, f);
            break;
        }
        }
    }
    worksheet_set_selection(ws, lxw_row_t(ActiveRow), lxw_col_t(ActiveColumn),
                            lxw_row_t(ActiveRow), lxw_col_t(ActiveColumn));
}

bool clsWorksheet::SaveXlsx(const QString& path, QString* error) const
{
    auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    const QString temp = path + ".part";
    QFile::remove(temp);
    lxw_workbook* book = workbook_new(QFile::encodeName(temp).constData());
    if (!book)
        return fail(QString("cannot create %1").arg(temp));
    lxw_worksheet* ws = workbook_add_worksheet(book, nullptr);
    WriteTo(book, ws);
    if (const clsWorksheet* more = ExcursionSheetIfAny())
        more->WriteTo(book, workbook_add_worksheet(book, ExcursionSheetName().left(31).toUtf8().constData()));
    const lxw_error rc = workbook_close(book);
    if (rc != LXW_NO_ERROR) {
        QFile::remove(temp);
        return fail(QString("cannot write %1: %2").arg(path, lxw_strerror(rc)));
    }
    return ReplaceFileWith(temp, path, error);
}

void WriteSpreadsheetExport(clsWorksheet& sheet, const ExportData& data, const ExportTexts& texts)
{
    sheet.IncreaseFontSize(4);
    sheet.SetText(data.GraphHeader);
    sheet.Offset(1, 0);
    sheet.IncreaseFontSize(2);
    sheet.SetText(data.ValueCaption);
    sheet.Offset(1, 0);
    sheet.SetText(texts.ProducedBy);
    if (data.ShowAlarms) {
        sheet.Offset(1, 0);
        sheet.SetText(texts.AlarmLimitMin + FloatText(data.AlarmMin) + texts.Max
                      + FloatText(data.AlarmMax));
        sheet.Offset(1, 1);
    } else {
        sheet.Offset(1, 1);
        sheet.Offset(1, 1);
    }
    sheet.SetText(texts.Date);
    sheet.Offset(0, 1);
    sheet.SetText(data.UnitText);
    sheet.Offset(1, -1);

    for (const ExportRow& r : data.rows) {
        sheet.SetDate(r.time);
        sheet.Offset(0, 1);
        sheet.SetValue(r.value, data.ValueDecimals);
        sheet.Offset(1, -1);
    }
    sheet.AutoFitColumn(sheet.ActiveColumn);
    sheet.Offset(0, 1);
    sheet.AutoFitColumn(sheet.ActiveColumn);
    sheet.Offset(-(int(data.rows.size()) + 5), 1);
    WriteExcursionSheet(sheet.ExcursionSheet(), data);
}

void WriteExcursionSheet(clsWorksheet& sheet, const ExportData& data)
{
    const EvidenceTable& e = data.Evidence;
    const auto label = [&](const QString& text) {
        sheet.SetText(text);
        sheet.Offset(0, 1);
    };
    sheet.IncreaseFontSize(2);
    sheet.SetText(data.GraphHeader);
    sheet.Offset(1, 0);
    // The logger, also when the header names something else ("Temperature").
    if (!data.Logger.isEmpty()) {
        label(Translate("logger"));
        sheet.SetText(data.Logger);
        sheet.Offset(1, -1);
    }
    if (!e.Valid) {
        sheet.SetText(Translate("no samples in this window: no excursions"));
        sheet.Offset(2, 0);
        return;
    }
    const int column = sheet.ActiveColumn;
    const auto figure = [&](const QString& name, double value, const QString& unit) {
        label(name);
        sheet.SetNumber(RoundedToDecimals(value, 2), "0.00");
        sheet.Offset(0, 1);
        sheet.SetText(unit);
        sheet.Offset(1, -2);
    };
    if (e.HasMkt)
        figure(Translate("MKT"), e.Mkt, data.Evidence.MktText.section(' ', 1));
    figure(Translate("out of range"), e.MinutesOutOfRange, "min");
    figure(Translate("in range"), e.ShareInRangePercent, "%");
    if (e.GapCount > 0) figure(Translate("without samples"), e.MinutesWithoutSamples, "min");
    label(Translate("alarm levels"));
    sheet.SetNumber(e.Low);
    sheet.Offset(0, 1);
    sheet.SetNumber(e.High);
    sheet.Offset(0, 1);
    sheet.SetText(data.Evidence.MktText.section(' ', 1));
    sheet.Offset(2, -3);
    for (int i = 0; i < e.Headings.size(); ++i)
        label(i == 3 ? Translate("duration (min)") : e.Headings[i]);
    label(Translate("remark"));
    sheet.Offset(1, column - sheet.ActiveColumn);
    for (const EvidenceRow& r : e.Rows) {
        label(r.Texts.value(0));
        sheet.SetDate(r.Start);
        sheet.Offset(0, 1);
        if (r.End.isValid())
            sheet.SetDate(r.End);
        else
            sheet.SetText(r.Texts.value(2));
        sheet.Offset(0, 1);
        sheet.SetNumber(RoundedToDecimals(r.DurationMinutes, 1), "0.0");
        sheet.Offset(0, 1);
        sheet.SetNumber(RoundedToDecimals(r.Peak, 2), "0.00");
        sheet.Offset(0, 1);
        sheet.SetNumber(RoundedToDecimals(r.DegreeMinutes, 1), "0.0");
        if (r.FromBefore) {
            sheet.Offset(0, 1);
            sheet.SetText(Translate("already outside at the start of the period"));
        }
        sheet.Offset(1, column - sheet.ActiveColumn);
    }
    for (int c = column; c < column + int(e.Headings.size()) + 1; ++c)
        sheet.AutoFitColumn(c);
    sheet.Offset(1, 0);
}
