#include "quorixapp.h"

QuorixApp* QuorixApp::s_instance = nullptr;

QuorixApp::QuorixApp() = default;
QuorixApp::~QuorixApp() = default;

QuorixApp* QuorixApp::instance()
{
    if (s_instance == nullptr)
        s_instance = new QuorixApp;
    return s_instance;
}

void QuorixApp::destroyInstance()
{
    delete s_instance;
    s_instance = nullptr;
}

void QuorixApp::init(IComponentRoot* comRoot) { root = comRoot; }
void QuorixApp::unInit() {}
IComponentRoot* QuorixApp::getComRoot() const { return root; }
EntChannelInterface* QuorixApp::getChannelInterface() const { return m_pEntChannelInterface; }
EntUserInterface* QuorixApp::getUserInterface() const { return m_pEntUserInterface; }
QuorixController* QuorixApp::getController() const { return m_pQuorixController; }
