#pragma once

// The framework's one way to log: a record in module "panefw" with the calling function's name.

#include <QString>

namespace panefw {

void log(int level, const char* file, int line, const char* function, const QString& text);

} // namespace panefw

#define PANE_LOG(level, text) ::panefw::log((level), __FILE__, __LINE__, Q_FUNC_INFO, (text))
