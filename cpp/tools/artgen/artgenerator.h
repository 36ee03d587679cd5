#pragma once

#include "tools/artgen/artcatalog.h"

#include <QString>
#include <QVector>

// Writes the images of a manifest into a folder, and the contact sheet that
// shows them all on one page for review.
class ArtGenerator
{
public:
    // Fails, with a message in `error`, when the manifest and the drawings do not match.
    bool load(const QString& manifest, QString* error);
    const QVector<ArtEntry>& entries() const { return m_entries; }

    bool writeImages(const QString& folder, QString* error) const;
    // The images whose names match the pattern `filter` (all when empty) in a grid with
    // their names; `scale` enlarges each image for close inspection.
    QImage contactSheet(int scale, const QString& filter) const;
    // The desktop program's icon: the add-on button's drawing at 64x64.
    bool writeProgramIcon(const QString& file, QString* error) const;

private:
    ArtCatalog m_catalog;
    QVector<ArtEntry> m_entries;
};
