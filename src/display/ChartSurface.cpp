// The drawing surface of the graph on a painter: user coordinates, current position, texts,
// pens; the image and printer targets.
#include "display/ChartData.h"
#include <QFontMetricsF>
#include <QPainter>
#include <QPagedPaintDevice>

ChartSurface::~ChartSurface() = default;

double ChartSurface::SurfaceHeight() const { return m_devH; }

void ChartSurface::Clear()
{
    if (m_painter) m_painter->fillRect(0, 0, m_devW, m_devH, Qt::white);
}

void ChartSurface::Attach(QPainter* painter, int w, int h)
{
    m_painter = painter;
    m_devW = w;
    m_devH = h;
    if (m_painter) m_painter->setRenderHint(QPainter::Antialiasing, false);
    SetFont(GraphFontFamily(), 8);
}

void ChartSurface::Scale(double left, double top, double width, double height)
{
    m_left = left;
    m_top = top;
    m_width = width == 0 ? 1 : width;
    m_height = height == 0 ? 1 : height;
}

void ChartSurface::ScalePixels() { Scale(0, 0, 1000, 1000); }

QPointF ChartSurface::ToDevice(double x, double y) const
{
    return QPointF((x - m_left) / m_width * m_devW, (y - m_top) / m_height * m_devH);
}

QPointF ChartSurface::FromDevice(double px, double py) const
{
    return QPointF(m_left + px / m_devW * m_width, m_top + py / m_devH * m_height);
}

void ChartSurface::SetFont(const QString& family, double pointSize, bool italic)
{
    m_font = QFont(family);
    m_font.setStyleHint(QFont::SansSerif);
    m_font.setPointSizeF(pointSize > 0.5 ? pointSize : 0.5);
    m_font.setItalic(italic);
}

void ChartSurface::SetFontSize(double pointSize) { m_font.setPointSizeF(pointSize > 0.5 ? pointSize : 0.5); }
void ChartSurface::SetItalic(bool italic) { m_font.setItalic(italic); }

double ChartSurface::TextWidth(const QString& text) const
{
    if (!m_painter || m_devW == 0) return 0;
    const QFontMetricsF fm(m_font, m_painter->device());
    return fm.horizontalAdvance(text) * m_width / m_devW;
}

double ChartSurface::TextHeight(const QString&) const
{
    if (!m_painter || m_devH == 0) return 0;
    const QFontMetricsF fm(m_font, m_painter->device());
    return fm.height() * m_height / m_devH;
}

QRectF ChartSurface::TextRect(const QString& text) const
{
    if (!m_painter) return QRectF();
    const QFontMetricsF fm(m_font, m_painter->device());
    return QRectF(ToDevice(CurrentX, CurrentY), QSizeF(fm.horizontalAdvance(text), fm.height()));
}

void ChartSurface::Print(const QString& text, ChartTextKind kind)
{
    if (m_painter && !text.trimmed().isEmpty()) {
        const QFontMetricsF fm(m_font, m_painter->device());
        const QPointF p = ToDevice(CurrentX, CurrentY);
        m_painter->setFont(m_font);
        m_painter->setPen(m_foreColor);
        m_painter->drawText(QPointF(p.x(), p.y() + fm.ascent()), text);
        m_texts.push_back({kind, text, TextRect(text)});
    }
    CurrentX = m_left;
    CurrentY += TextHeight(text);
}

QString ChartTextKindName(ChartTextKind kind)
{
    switch (kind) {
    case ChartTextKind::Header: return QStringLiteral("header");
    case ChartTextKind::Caption: return QStringLiteral("caption");
    case ChartTextKind::Footnote: return QStringLiteral("footnote");
    case ChartTextKind::TimeLabel: return QStringLiteral("time label");
    case ChartTextKind::DateLabel: return QStringLiteral("date label");
    case ChartTextKind::LastSampleLabel: return QStringLiteral("last-sample label");
    case ChartTextKind::ValueLabel: return QStringLiteral("value label");
    case ChartTextKind::ZeroLabel: return QStringLiteral("zero label");
    case ChartTextKind::AlarmLabel: return QStringLiteral("alarm label");
    case ChartTextKind::Message: return QStringLiteral("message");
    }
    return QString();
}

QStringList TextLayoutFaults(const std::vector<ChartText>& texts, const QSizeF& surface, double tolerance)
{
    QStringList faults;
    const auto describe = [](const ChartText& t) {
        const QRectF& r = t.Rect;
        return QStringLiteral("%1 \"%2\" at %3,%4 %5x%6")
            .arg(ChartTextKindName(t.Kind), t.Text)
            .arg(r.x(), 0, 'f', 1).arg(r.y(), 0, 'f', 1).arg(r.width(), 0, 'f', 1).arg(r.height(), 0, 'f', 1);
    };
    const QRectF area(QPointF(-tolerance, -tolerance), QSizeF(surface.width() + 2 * tolerance, surface.height() + 2 * tolerance));
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!area.contains(texts[i].Rect)) faults << describe(texts[i]) + " leaves the surface";
        const QRectF a = texts[i].Rect.adjusted(tolerance, tolerance, -tolerance, -tolerance);
        for (size_t j = i + 1; j < texts.size(); ++j)
            if (a.intersects(texts[j].Rect.adjusted(tolerance, tolerance, -tolerance, -tolerance)))
                faults << describe(texts[i]) + " overlaps " + describe(texts[j]);
    }
    return faults;
}

void ChartSurface::Line(double x1, double y1, double x2, double y2, const QColor& color)
{
    if (m_painter) {
        QPen pen(color);
        pen.setWidth(m_drawWidth);
        pen.setCapStyle(Qt::FlatCap);
        // Dashed and dotted styles apply to one-pixel lines; wider lines are drawn solid.
        if (m_drawWidth == 1 && m_style == LineStyle::Dash) pen.setStyle(Qt::DashLine);
        else if (m_drawWidth == 1 && m_style == LineStyle::Dot) pen.setStyle(Qt::DotLine);
        m_painter->setPen(pen);
        m_painter->drawLine(ToDevice(x1, y1), ToDevice(x2, y2));
    }
    CurrentX = x2;
    CurrentY = y2;
}

void ChartSurface::FillRect(double x1, double y1, double x2, double y2, const QColor& color)
{
    if (m_painter) m_painter->fillRect(QRectF(ToDevice(x1, y1), ToDevice(x2, y2)).normalized(), color);
}

void ChartSurface::LineTo(double x2, double y2, const QColor& color) { Line(CurrentX, CurrentY, x2, y2, color); }

// --- image -----------------------------------------------------------------------------------

ImageSurface::ImageSurface(int width, int height)
    : m_image(width > 0 ? width : 1, height > 0 ? height : 1, QImage::Format_RGB32)
{
    // 96 dots per inch, as the screen the window is measured on.
    m_image.setDotsPerMeterX(3780);
    m_image.setDotsPerMeterY(3780);
    m_image.fill(Qt::white);
    m_p = std::make_unique<QPainter>(&m_image);
    Attach(m_p.get(), m_image.width(), m_image.height());
}

ImageSurface::~ImageSurface() { Finish(); }

void ImageSurface::Finish()
{
    if (m_p && m_p->isActive()) m_p->end();
}

// --- printer ---------------------------------------------------------------------------------

PrinterSurface::PrinterSurface(QPagedPaintDevice& printer)
{
    m_p = std::make_unique<QPainter>();
    m_ok = m_p->begin(&printer);
    const QPageLayout layout = printer.pageLayout();
    m_landscape = layout.orientation() == QPageLayout::Landscape;
    m_heightTwips = layout.fullRect(QPageLayout::Point).height() * 20.0;   // 20 twips a point
    const QRect r = layout.paintRectPixels(printer.logicalDpiX());
    Attach(m_ok ? m_p.get() : nullptr, r.width(), r.height());
}

PrinterSurface::PrinterSurface(QPainter& painter, const QRectF& area) : m_shared(&painter), m_part(true)
{
    m_ok = painter.isActive();
    const int dpi = m_ok ? painter.device()->logicalDpiY() : 72;
    m_heightTwips = area.height() / dpi * 72.0 * 20.0;
    if (m_ok) {
        painter.save();
        painter.translate(area.topLeft());
        painter.setClipRect(QRectF(QPointF(0, 0), area.size()), Qt::IntersectClip);
    }
    Attach(m_ok ? &painter : nullptr, int(area.width()), int(area.height()));
}

PrinterSurface::~PrinterSurface() { Finish(); }

void PrinterSurface::Finish()
{
    if (m_shared) {
        if (m_ok) m_shared->restore();
        m_shared = nullptr;
        m_ok = false;
    }
    if (m_p && m_p->isActive()) m_p->end();
}
