#include "host/services/keywordfilter.h"

#include <QFile>

#include <algorithm>

namespace {

int characterCount(const QString& text)
{
    return static_cast<int>(text.toUcs4().size());
}

} // namespace

bool KeywordFilter::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_words.clear();
        return false;
    }
    QStringList words;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString word = QString::fromUtf8(line).trimmed();
        if (!word.isEmpty() && !word.startsWith('#'))
            words << word;
    }
    setWords(words);
    return true;
}

void KeywordFilter::setWords(const QStringList& words)
{
    m_words.clear();
    for (const QString& word : words) {
        if (!word.isEmpty() && !m_words.contains(word, Qt::CaseInsensitive))
            m_words << word;
    }
    std::stable_sort(m_words.begin(), m_words.end(),
                     [](const QString& a, const QString& b) { return a.size() > b.size(); });
}

QString KeywordFilter::filter(const QString& text) const
{
    QString result = text;
    for (const QString& word : m_words)
        result.replace(word, QString(characterCount(word), QLatin1Char('*')), Qt::CaseInsensitive);
    return result;
}
