#include "src/quorixapp/entuserinteface.h"

#include "nameid.h"
#include "src/quorixlog/quorixlog.h"
#include "serviceids.h"

namespace {

// Column ids of the host's channel member row, obtained once when the library is loaded.
const unsigned short g_uidId = insert_name_id(L"dwUid");
const unsigned short g_sexId = insert_name_id(L"btSex");
const unsigned short g_nickId = insert_name_id(L"strNickname");
const unsigned short g_roleId = insert_name_id(L"dwRole");

QString nickOf(Data::IRow* row)
{
    if (row->hasValue(g_nickId) == 0)
        return QString();
    return QString::fromStdWString(row->getString(g_nickId));
}

} // namespace

EntUserInterface::EntUserInterface() = default;

EntUserInterface::~EntUserInterface() = default;

bool EntUserInterface::isManagerRole(quint32 role)
{
    switch (role) {
    case ROLE_OWNER:
    case ROLE_VICE_OWNER:
    case ROLE_ADMIN:
    case ROLE_SUBCHANNEL_ADMIN:
    case ROLE_HOST:
        return true;
    default:
        return false;
    }
}

quint32 EntUserInterface::genderFromText(const QString& text)
{
    int start = 0;
    while (start < text.size() && text.at(start).isSpace())
        ++start;
    const QStringRef rest = text.midRef(start);
    if (rest.startsWith(QLatin1String("female"), Qt::CaseInsensitive))
        return Female;
    if (rest.startsWith(QLatin1String("male"), Qt::CaseInsensitive))
        return Male;
    return GenderNotGiven;
}

void EntUserInterface::init(comptr<IComponentRoot> root)
{
    if (!root) {
        QLOG(1) << "EntUserInterface comRootPtr is NULL";
        return;
    }
    m_ChannelUserListPtr = serviceInterface<ITovoChannelUserList>(root.get(), hostsdk::kChannelService);
    if (!m_ChannelUserListPtr) {
        QLOG(1) << "EntUserInterface m_ChannelUserListPtr is NULL";
        return;
    }
    m_BuddyListPtr = serviceInterface<ITovoBuddyList>(root.get(), hostsdk::kImGroupService);
    if (!m_BuddyListPtr) {
        QLOG(1) << "EntUserInterface m_BuddyListPtr is NULL";
        return;
    }
    m_AuthenticationPtr = serviceInterface<ITovoAuthentication>(root.get(), hostsdk::kCommonService);
    if (!m_AuthenticationPtr) {
        QLOG(1) << "EntUserInterface m_AuthenticationPtr is NULL";
        return;
    }
    m_uid = m_AuthenticationPtr->getUid();
    const Data::IRowPtr row = readMyRow();
    if (row) {
        m_nick = nickOf(row.get());
        m_gender = row->getByte(g_sexId);
        m_role = row->getUInt32(g_roleId);
    } else {
        m_role = 0;
        m_gender = GenderNotGiven;
        QLOG(1) << "GetMyChannelInfo is NULL!!!!!";
    }
    m_ChannelUserListPtr->myChannelInfoChangedSignal().connect(this,
                                                               &EntUserInterface::onMyChannelInfoChanged);
    m_BuddyListPtr->userInfoSignal().connect(this, &EntUserInterface::onGetUserInfo);
    m_BuddyListPtr->requestUserInfo(m_uid, 1);
}

Data::IRowPtr EntUserInterface::readMyRow()
{
    Data::IRowPtr row;
    m_ChannelUserListPtr->getMyChannelInfo(row, 0);
    return row;
}

quint32 EntUserInterface::getCurrentUserUid()
{
    if (m_uid == 0 && m_ChannelUserListPtr) {
        const Data::IRowPtr row = readMyRow();
        if (row)
            m_uid = row->getUInt32(g_uidId);
        else
            QLOG(1) << "GetMyChannelInfo is NULL!!!!!";
    }
    return m_uid;
}

bool EntUserInterface::isCurrentUserIsManager()
{
    if (m_role == 0 && m_ChannelUserListPtr) {
        const Data::IRowPtr row = readMyRow();
        if (row)
            m_role = row->getUInt32(g_roleId);
        else
            QLOG(1) << "GetMyChannelInfo is NULL!!!!!";
    }
    return isManagerRole(m_role);
}

void EntUserInterface::onMyChannelInfoChanged(Data::IRowArrayPtr pRowArray)
{
    if (!m_ChannelUserListPtr) {
        QLOG(1) << "ChannelUserListPtr is NULL!!!";
        return;
    }
    Data::IRowPtr row = readMyRow();
    if (!row && pRowArray && pRowArray->count() > 0)
        pRowArray->first(row);
    if (!row) {
        QLOG(1) << "GetMyChannelInfo is NULL!!!!!";
        return;
    }
    takeRow(row.get());
}

void EntUserInterface::takeRow(Data::IRow* row)
{
    m_uid = row->getUInt32(g_uidId);
    m_nick = nickOf(row);
    m_gender = row->getByte(g_sexId);
    const quint32 oldRole = m_role;
    m_role = row->getUInt32(g_roleId);
    if (m_role != oldRole)
        emit currentUserRoleChanged(static_cast<ROLE_IN_CHANNEL>(m_role));
    announceIfComplete();
    emit currentUserInfoChanged();
}

void EntUserInterface::onGetUserInfo(uint buddyID, comptr<IPropBagWrapper> objUInfo)
{
    if (buddyID != m_uid || !objUInfo)
        return;
    bool isNumber = false;
    const quint32 imid = QString::fromStdWString(objUInfo->getString(L"imid")).toUInt(&isNumber, 10);
    m_imid = isNumber ? imid : 0;
    m_nick = QString::fromStdWString(objUInfo->getString(L"nick"));
    m_gender = genderFromText(QString::fromStdWString(objUInfo->getString(L"gender")));
    announceIfComplete();
}

void EntUserInterface::announceIfComplete()
{
    if (m_imid != 0 && m_role != 0)
        emit currentUserInfoInitComplete();
}
