#pragma once

// Who the local user is and what role that user holds in the current channel. Created without
// a parent and deleted by QuorixApp; destruction releases the host references and ends the host
// signal connections.

#include "componentroot.h"
#include "datarow.h"
#include "ipropbagwrapper.h"
#include "itovoauthentication.h"
#include "itovobuddylist.h"
#include "itovochanneluserlist.h"
#include "roleinchannel.h"
#include "trackable.h"

#include <QObject>
#include <QString>

class EntUserInterface : public QObject, public relay::trackable
{
    Q_OBJECT
public:
    enum Gender : quint32
    {
        Female = 0,
        Male = 1,
        GenderNotGiven = 2,
    };

    EntUserInterface();
    ~EntUserInterface() override;

    void init(comptr<IComponentRoot> root);

    // Reads the channel row again while the cached value is 0.
    quint32 getCurrentUserUid();
    // True for the roles 255, 230, 200, 175 and 150; reads the row again while the role is 0.
    bool isCurrentUserIsManager();

    // Cached values, without asking the host.
    quint32 getCurrentUserImid() const { return m_imid; }
    QString getCurrentUserNick() const { return m_nick; }
    quint32 getCurrentUserGender() const { return m_gender; }
    quint32 getCurrentUserRole() const { return m_role; }

    static bool isManagerRole(quint32 role);
    // "female…" 0, "male…" 1 (any letter case, after leading white space), anything else 2.
    static quint32 genderFromText(const QString& text);

signals:
    void currentUserInfoChanged();
    void currentUserInfoInitComplete();
    void currentUserRoleChanged(ROLE_IN_CHANNEL newRole);

public slots:
    // Also the handlers of the host's row-change and user-information notifications.
    void onMyChannelInfoChanged(Data::IRowArrayPtr pRowArray);
    void onGetUserInfo(uint buddyID, comptr<IPropBagWrapper> objUInfo);

private:
    Data::IRowPtr readMyRow();
    void takeRow(Data::IRow* row);
    void announceIfComplete();

    comptr<ITovoChannelUserList> m_ChannelUserListPtr;
    comptr<ITovoBuddyList> m_BuddyListPtr;
    comptr<ITovoAuthentication> m_AuthenticationPtr;
    quint32 m_uid = 0;
    quint32 m_imid = 0;
    QString m_nick;
    quint32 m_gender = 0;
    quint32 m_role = 0;
};
