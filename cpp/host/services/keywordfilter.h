#pragma once

// The channel's keyword filter: every listed word in a text becomes asterisks, one per
// character. The list is a UTF-8 text file, one word a line; blank lines and lines starting
// with '#' are skipped. Latin letters match in any case.

#include <QString>
#include <QStringList>

class KeywordFilter
{
public:
    // False (and the list stays empty) when the file cannot be read.
    bool load(const QString& path);
    void setWords(const QStringList& words);
    QStringList words() const { return m_words; }

    QString filter(const QString& text) const;

private:
    QStringList m_words; // longest first, so a longer word wins over a word inside it
};
