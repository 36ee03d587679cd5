#include "src/quorixapp/quorixapp.h"

#include "src/quorixapp/entserviceinterface.h"
#include "src/quorixapp/groupvotewin.h"
#include "src/quorixapp/judgevotewin.h"
#include "src/quorixapp/normalvotewin.h"
#include "src/quorixapp/quorixdatacenter.h"
#include "src/quorixlog/quorixlog.h"
#include "src/quorixapp/quorixmainpanel.h"
#include "src/quorixapp/quorixprotocol.h"
#include "src/quorixapp/recordwnd.h"

#include <new>

namespace {

QuorixApp::CreationGate& creationGate()
{
    static QuorixApp::CreationGate gate;
    return gate;
}

template <class T> T* create(const char* field)
{
    const QuorixApp::CreationGate& gate = creationGate();
    if (gate && !gate(field))
        return nullptr;
    return new (std::nothrow) T;
}

template <class T> void deleteOwned(QPointer<T>& field)
{
    if (field.isNull())
        return;
    delete field.data();
    field = nullptr;
}

} // namespace

QuorixApp* QuorixApp::s_instance = nullptr;

QuorixApp::QuorixApp() = default;

QuorixApp::~QuorixApp() = default;

QuorixApp* QuorixApp::instance()
{
    if (s_instance == nullptr)
        s_instance = new (std::nothrow) QuorixApp;
    return s_instance;
}

void QuorixApp::destroyInstance()
{
    delete s_instance;
    s_instance = nullptr;
}

void QuorixApp::setCreationGate(CreationGate gate)
{
    creationGate() = std::move(gate);
}

void QuorixApp::init(IComponentRoot* comRoot)
{
    if (!ownedObjects().isEmpty())
        unInit();
    root = comRoot;
    if (const char* missing = createBridges()) {
        QLOG(1) << missing;
        return;
    }
    m_pEntServiceInterface->init(IComponentRootPtr(root));
    m_pEntChannelInterface->init(IComponentRootPtr(root));
    m_pEntUserInterface->init(IComponentRootPtr(root));
    if (const char* missing = createParts()) {
        QLOG(1) << missing;
        return;
    }
    wireParts();
}

const char* QuorixApp::createBridges()
{
    m_pEntServiceInterface = create<EntServiceInterface>("m_pEntServiceInterface");
    m_pEntChannelInterface = create<EntChannelInterface>("m_pEntChannelInterface");
    m_pEntUserInterface = create<EntUserInterface>("m_pEntUserInterface");
    if (m_pEntServiceInterface.isNull())
        return "!m_pEntServiceInterface";
    if (m_pEntChannelInterface.isNull())
        return "!m_pEntChannelInterface";
    if (m_pEntUserInterface.isNull())
        return "!m_pEntUserInterface";
    return nullptr;
}

const char* QuorixApp::createParts()
{
    m_pQuorixProtocol = create<QuorixProtocol>("m_pQuorixProtocol");
    m_pQuorixDataCenter = create<QuorixDataCenter>("m_pQuorixDataCenter");
    m_pQuorixMainPanel = create<QuorixMainPanel>("m_pQuorixMainPanel");
    m_pQuorixController = create<QuorixController>("m_pQuorixController");
    m_pEntNormalVoteWnd = create<NormalVoteWin>("m_pEntNormalVoteWnd");
    m_pEntGroupVoteWnd = create<GroupVoteWin>("m_pEntGroupVoteWnd");
    m_pEntJudgeVoteWnd = create<JudgeVoteWin>("m_pEntJudgeVoteWnd");
    m_pRecordWnd = create<recordWnd>("m_pRecordWnd");
    const QList<QPair<bool, const char*>> checks = {
        {m_pQuorixProtocol.isNull(), "!m_pQuorixProtocol"},
        {m_pQuorixDataCenter.isNull(), "!m_pQuorixDataCenter"},
        {m_pQuorixMainPanel.isNull(), "!m_pQuorixMainPanel"},
        {m_pQuorixController.isNull(), "!m_pQuorixController"},
        {m_pEntNormalVoteWnd.isNull(), "!m_pEntNormalVoteWnd"},
        {m_pEntGroupVoteWnd.isNull(), "!m_pEntGroupVoteWnd"},
        {m_pEntJudgeVoteWnd.isNull(), "!m_pEntJudgeVoteWnd"},
        {m_pRecordWnd.isNull(), "!m_pRecordWnd"},
    };
    for (const auto& check : checks)
        if (check.first)
            return check.second;
    return nullptr;
}

void QuorixApp::wireParts()
{
    m_pQuorixProtocol->init(m_pEntServiceInterface, m_pEntChannelInterface, m_pEntUserInterface);
    m_pQuorixController->init(m_pQuorixProtocol, m_pQuorixMainPanel, m_pQuorixDataCenter, m_pEntNormalVoteWnd,
                              m_pEntGroupVoteWnd, m_pEntJudgeVoteWnd, m_pRecordWnd);
    m_pEntNormalVoteWnd->init(m_pQuorixController);
    m_pEntGroupVoteWnd->init(m_pQuorixController);
    m_pEntJudgeVoteWnd->init(m_pQuorixController);
}

void QuorixApp::unInit()
{
    deleteOwned(m_pQuorixController);
    deleteOwned(m_pQuorixMainPanel);
    deleteOwned(m_pRecordWnd);
    deleteOwned(m_pQuorixDataCenter);
    deleteOwned(m_pQuorixProtocol);
    deleteOwned(m_pEntChannelInterface);
    deleteOwned(m_pEntUserInterface);
    deleteOwned(m_pEntServiceInterface);
    deleteOwned(m_pEntNormalVoteWnd);
    deleteOwned(m_pEntGroupVoteWnd);
    deleteOwned(m_pEntJudgeVoteWnd);
}

IComponentRoot* QuorixApp::getComRoot() const
{
    return root;
}

EntChannelInterface* QuorixApp::getChannelInterface() const
{
    return m_pEntChannelInterface;
}

EntUserInterface* QuorixApp::getUserInterface() const
{
    return m_pEntUserInterface;
}

QuorixController* QuorixApp::getController() const
{
    return m_pQuorixController;
}

QList<QPair<const char*, QObject*>> QuorixApp::ownedObjects() const
{
    const QList<QPair<const char*, QObject*>> fields = {
        {"m_pEntServiceInterface", m_pEntServiceInterface.data()},
        {"m_pEntChannelInterface", m_pEntChannelInterface.data()},
        {"m_pEntUserInterface", m_pEntUserInterface.data()},
        {"m_pQuorixController", m_pQuorixController.data()},
        {"m_pQuorixProtocol", m_pQuorixProtocol.data()},
        {"m_pQuorixDataCenter", m_pQuorixDataCenter.data()},
        {"m_pQuorixMainPanel", m_pQuorixMainPanel.data()},
        {"m_pEntNormalVoteWnd", m_pEntNormalVoteWnd.data()},
        {"m_pEntGroupVoteWnd", m_pEntGroupVoteWnd.data()},
        {"m_pEntJudgeVoteWnd", m_pEntJudgeVoteWnd.data()},
        {"m_pRecordWnd", m_pRecordWnd.data()},
    };
    QList<QPair<const char*, QObject*>> held;
    for (const auto& field : fields)
        if (field.second != nullptr)
            held.append(field);
    return held;
}
