#pragma once

// Root of the application library: creates, wires and deletes every long-lived object, and is
// the registry through which the others reach the host root, the bridges and the controller.
// A process-wide singleton: instance() creates it, onUnLoadEntAddon deletes it. It owns the
// eleven objects it creates (no Qt parent) and deletes them only in unInit.

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>

#include <functional>

#include "src/quorixapp/entchannelinterface.h"
#include "src/quorixapp/entuserinteface.h"
#include "src/quorixapp/quorixcontroller.h"

class IComponentRoot;
class EntServiceInterface;
class EntChannelInterface;
class EntUserInterface;
class QuorixController;
class QuorixProtocol;
class QuorixDataCenter;
class QuorixMainPanel;
class NormalVoteWin;
class GroupVoteWin;
class JudgeVoteWin;
class recordWnd;

class QuorixApp : public QObject
{
    Q_OBJECT
public:
    // Test seam, unset by default: asked with the field name ("m_pQuorixProtocol") just before
    // each object is created; false plays a creation that yields no object.
    using CreationGate = std::function<bool(const char* field)>;

    static QuorixApp* instance();
    // Deletes the singleton and clears it; a later instance() creates a fresh one.
    static void destroyInstance();
    static void setCreationGate(CreationGate gate);

    ~QuorixApp() override;

    // Builds and wires every object. A second init without unInit first deletes what the
    // earlier one built, so no unreachable objects stay connected.
    void init(IComponentRoot* root);
    void unInit();

    IComponentRoot* getComRoot() const;
    EntChannelInterface* getChannelInterface() const;
    EntUserInterface* getUserInterface() const;
    QuorixController* getController() const;

    // The objects held now, with their field names, in field declaration order.
    QList<QPair<const char*, QObject*>> ownedObjects() const;

private:
    QuorixApp();

    // Each creates its group of objects and answers the log message of the first missing one,
    // or null when all exist.
    const char* createBridges();
    const char* createParts();
    void wireParts();

    IComponentRoot* root = nullptr; // the host's; no reference held
    QPointer<EntServiceInterface> m_pEntServiceInterface;
    QPointer<EntChannelInterface> m_pEntChannelInterface;
    QPointer<EntUserInterface> m_pEntUserInterface;
    QPointer<QuorixController> m_pQuorixController;
    QPointer<QuorixProtocol> m_pQuorixProtocol;
    QPointer<QuorixDataCenter> m_pQuorixDataCenter;
    QPointer<QuorixMainPanel> m_pQuorixMainPanel;
    QPointer<NormalVoteWin> m_pEntNormalVoteWnd;
    QPointer<GroupVoteWin> m_pEntGroupVoteWnd;
    QPointer<JudgeVoteWin> m_pEntJudgeVoteWnd;
    QPointer<recordWnd> m_pRecordWnd;

    static QuorixApp* s_instance;
};
