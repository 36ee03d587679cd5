#include "host/hostinstalllayout.h"

#include <QDir>
#include <QFileInfo>

QString HostInstallLayout::addonDir() const
{
    const QDir program(m_programDir);
    if (QFileInfo(program.filePath(QStringLiteral("libquorix.so"))).isFile())
        return m_programDir;
    return QDir::cleanPath(program.filePath(QStringLiteral(QUORIX_ADDON_DIR_FROM_BIN)));
}

QString HostInstallLayout::keywordsFile() const
{
    const QDir program(m_programDir);
    const QString beside = program.filePath(QStringLiteral("keywords.txt"));
    if (QFileInfo(beside).isFile())
        return beside;
    return QDir::cleanPath(program.filePath(QStringLiteral(QUORIX_DATA_DIR_FROM_BIN "/keywords.txt")));
}
