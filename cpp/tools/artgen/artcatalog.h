#pragma once

#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QPainter;

// One image of the set as the manifest names it.
struct ArtEntry
{
    QString name;
    QSize size;
};

// Every drawing of the set, keyed by file name. The manifest decides which
// images exist and their sizes; the catalog knows how to draw each of them.
class ArtCatalog
{
public:
    using Drawing = std::function<void(QPainter&, const QSize&)>;

    ArtCatalog();

    // The manifest compiled into the generator.
    static QString builtInManifest();
    // Lines of "name width height"; '#' starts a comment. Returns false and
    // sets `error` on the first malformed or repeated line.
    static bool parseManifest(const QString& text, QVector<ArtEntry>* entries, QString* error);

    QStringList names() const;
    // Names listed without a drawing, and drawings missing from the list.
    QStringList mismatches(const QVector<ArtEntry>& entries) const;
    // A transparent image of the entry's size with its drawing; null when the name is unknown.
    // `scale` draws it that many times larger, with the same vector strokes (no pixel blow-up).
    QImage render(const ArtEntry& entry, int scale = 1) const;

private:
    void add(const QString& name, Drawing drawing);
    void addIcons();
    void addButtons();
    void addVoteArt();
    void addPanels();

    QHash<QString, Drawing> m_drawings;
};
