// The application library's two exports, called by the entry component after loading the
// library and before freeing it. Both return 0 and never let an exception reach the caller.

#include "src/quorixapp/quorixapp.h"
#include "src/quorixlog/quorixlog.h"

#include <exception>

class IComponentRoot;

extern "C" __attribute__((visibility("default"))) int onLoadEntAddon(IComponentRoot* root)
{
    try {
        QuorixApp* app = QuorixApp::instance();
        if (app == nullptr)
            return 0;
        app->init(root);
    } catch (const std::exception& error) {
        QLOG(1) << "onLoadEntAddon stopped: " << error.what();
    } catch (...) {
        QLOG(1) << "onLoadEntAddon stopped by an unknown exception";
    }
    return 0;
}

extern "C" __attribute__((visibility("default"))) int onUnLoadEntAddon()
{
    try {
        if (QuorixApp* app = QuorixApp::instance())
            app->unInit();
        QuorixApp::destroyInstance();
    } catch (const std::exception& error) {
        QLOG(1) << "onUnLoadEntAddon stopped: " << error.what();
    } catch (...) {
        QLOG(1) << "onUnLoadEntAddon stopped by an unknown exception";
    }
    return 0;
}
