#include "tools/artgen/artgenerator.h"

#include "tools/artgen/artkit.h"

#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>

namespace {

const int kSheetWidth = 1500;
const int kGap = 16;
const int kLabelHeight = 18;
// 96 dots per inch, so that every written file carries the same header.
const int kDotsPerMeter = 3780;

void checkerboard(QPainter& p, const QRect& area)
{
    const int cell = 8;
    p.fillRect(area, QColor(0xF4, 0xF5, 0xF9));
    for (int y = area.top(); y < area.bottom(); y += cell) {
        for (int x = area.left() + ((y - area.top()) / cell % 2) * cell; x < area.right(); x += 2 * cell) {
            p.fillRect(QRect(x, y, cell, cell).intersected(area), QColor(0xE4, 0xE6, 0xEE));
        }
    }
}

struct Placement
{
    int index;
    QRect box;
};

// Lays the images out in rows, left to right, each above its caption.
QVector<Placement> flow(const QVector<QImage>& images, int* height)
{
    QVector<Placement> placements;
    int x = kGap;
    int y = kGap;
    int rowHeight = 0;
    for (int i = 0; i < images.size(); ++i) {
        const QSize size = images[i].size();
        const int cellWidth = qMax(size.width(), 120);
        if (x + cellWidth > kSheetWidth - kGap && x > kGap) {
            x = kGap;
            y += rowHeight + kLabelHeight + kGap;
            rowHeight = 0;
        }
        placements.append({i, QRect(QPoint(x, y), size)});
        x += cellWidth + kGap;
        rowHeight = qMax(rowHeight, size.height());
    }
    *height = y + rowHeight + kLabelHeight + kGap;
    return placements;
}

} // namespace

bool ArtGenerator::load(const QString& manifest, QString* error)
{
    if (!ArtCatalog::parseManifest(manifest, &m_entries, error)) {
        return false;
    }
    const QStringList problems = m_catalog.mismatches(m_entries);
    if (!problems.isEmpty()) {
        *error = problems.join(QLatin1String("; "));
        return false;
    }
    return true;
}

namespace {

bool savePng(QImage image, const QString& file, QString* error)
{
    image = image.convertToFormat(QImage::Format_ARGB32);
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    if (image.save(file, "PNG"))
        return true;
    *error = QStringLiteral("cannot write %1").arg(file);
    return false;
}

} // namespace

bool ArtGenerator::writeProgramIcon(const QString& file, QString* error) const
{
    return savePng(m_catalog.render({QStringLiteral("vote_normal.png"), QSize(32, 32)}, 2), file, error);
}

bool ArtGenerator::writeImages(const QString& folder, QString* error) const
{
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    const QDir dir(folder);
    for (const ArtEntry& entry : m_entries) {
        if (!savePng(m_catalog.render(entry), dir.filePath(entry.name), error))
            return false;
    }
    return true;
}

QImage ArtGenerator::contactSheet(int scale, const QString& filter) const
{
    const QRegularExpression pattern(filter);
    QVector<ArtEntry> shown;
    std::copy_if(m_entries.begin(), m_entries.end(), std::back_inserter(shown),
                 [&](const ArtEntry& entry) { return entry.name.contains(pattern); });
    QVector<QImage> images;
    for (const ArtEntry& entry : shown) {
        const QImage image = m_catalog.render(entry);
        images.append(scale > 1
                          ? image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                          : image);
    }
    int height = 0;
    const QVector<Placement> placements = flow(images, &height);
    QImage sheet(kSheetWidth, height, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.setFont(ArtKit::font(11, false));
    for (const Placement& placement : placements) {
        checkerboard(p, placement.box);
        p.drawImage(placement.box.topLeft(), images[placement.index]);
        const ArtEntry& entry = shown[placement.index];
        const QString caption =
            QStringLiteral("%1 %2x%3").arg(entry.name).arg(entry.size.width()).arg(entry.size.height());
        p.setPen(ArtKit::ink());
        p.drawText(QRect(placement.box.left(), placement.box.bottom() + 2, qMax(placement.box.width(), 120),
                         kLabelHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, caption);
    }
    p.end();
    return sheet;
}
