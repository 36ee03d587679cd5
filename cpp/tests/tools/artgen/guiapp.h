#pragma once

#include <QGuiApplication>

// Drawing text and decoding images need a QGuiApplication; tests share one.
inline void ensureGuiApp()
{
    static int argc = 1;
    static char name[] = "art_test";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) {
        new QGuiApplication(argc, argv);
    }
}
