#pragma once

// Where tovo-host finds what it loads. In the build tree everything sits beside the program; once
// installed the add-on and the keyword list live in their own folders, reached from the program's
// folder by relative paths fixed at build time, so any installation prefix works.

#include <QString>

class HostInstallLayout
{
public:
    explicit HostInstallLayout(const QString& programDir) : m_programDir(programDir) {}

    // The program's folder when it holds the add-on's entry library, else the installed add-on folder.
    QString addonDir() const;
    // keywords.txt beside the program when present, else the installed one.
    QString keywordsFile() const;

private:
    QString m_programDir;
};
