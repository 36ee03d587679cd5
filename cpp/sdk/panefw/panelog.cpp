#include "panelog.h"

#include "fenlog.h"

#include <string>

namespace panefw {
namespace {

// "void PaneWidget::setAnchor(const QString&)" -> "PaneWidget::setAnchor".
std::string shortFunctionName(const char* prettyName)
{
    std::string name = prettyName != nullptr ? prettyName : "";
    const auto paren = name.find('(');
    if (paren != std::string::npos)
        name.erase(paren);
    const auto space = name.rfind(' ');
    if (space != std::string::npos)
        name.erase(0, space + 1);
    while (!name.empty() && (name.front() == '*' || name.front() == '&'))
        name.erase(0, 1);
    return name;
}

} // namespace

void log(int level, const char* file, int line, const char* function, const QString& text)
{
    const auto logLevel = static_cast<unsigned short>(level);
    if (!IsLogLevelEnabled(logLevel))
        return;
    const std::wstring wide = text.toStdWString();
    const std::string name = shortFunctionName(function);
    DoLog(logLevel, "panefw", file, static_cast<unsigned short>(line), name.c_str(), wide.c_str());
}

} // namespace panefw
