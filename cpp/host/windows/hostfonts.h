#pragma once

// Fonts of the host: the families the add-on's layouts ask for ("宋体", "微软雅黑") are not
// installed here, so they are mapped to the installed CJK fonts, which also become the
// application's default.

#include <QString>

class HostFonts
{
public:
    // The installed CJK family used, or an empty text when none is installed.
    static QString install();
    static QString preferredCjkFamily();
};
