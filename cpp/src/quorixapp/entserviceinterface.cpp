#include "src/quorixapp/entserviceinterface.h"

#include <quorix/protocol/serviceframe.h>
#include "src/quorixlog/quorixlog.h"
#include "serviceids.h"

EntServiceInterface::EntServiceInterface() = default;

EntServiceInterface::~EntServiceInterface() = default;

void EntServiceInterface::init(comptr<IComponentRoot> root)
{
    if (!root) {
        QLOG(1) << "EntServiceInterface init:comRootPtr is NULL";
        return;
    }
    IUnk* out = nullptr;
    if (root->createInstance(hostsdk::kServiceConnection, serviceContext.get(), &out) == 0 &&
        out != nullptr) {
        const comptr<IUnk> connection = comptr<IUnk>::adopt(out);
        servicePtr = queryInterface<ITovoServiceConnectionEx>(connection);
    }
    if (!servicePtr) {
        QLOG(1) << "servicePtr is NULL!";
        return;
    }
    servicePtr->setServiceType(kServiceType);
    servicePtr->readySignal().connect(this, &EntServiceInterface::onServiceReady);
    servicePtr->dataSignal().connect(this, &EntServiceInterface::onDataArrived);
    servicePtr->serviceClosedSignal().connect(this, &EntServiceInterface::onServiceClose);
    servicePtr->connectionClosedSignal().connect(this, &EntServiceInterface::onConnectionClose);
    if (servicePtr->isReady())
        onServiceReady();
    root = nullptr;
}

void EntServiceInterface::onServiceReady()
{
    if (connId != kNoConnection) {
        QLOG(1) << "EntService has connect!!!Don't repeat again!!!";
        return;
    }
    if (!servicePtr) {
        QLOG(1) << "EntServiceHeper servicePtr is NULL";
        return;
    }
    connId = servicePtr->openConnection(1);
    if (connId != kNoConnection) {
        emit serviceReadySignal();
        emit connectionStateChanged(true);
    } else {
        QLOG(1) << "EntServiceHeper connid is invalid";
    }
}

void EntServiceInterface::onConnectionClose(quint32 connectionId)
{
    const bool ours = connectionId == connId && connId != kNoConnection;
    if (ours)
        connId = kNoConnection;
    QLOG(1) << "service connection close";
    if (ours)
        emit connectionStateChanged(false);
}

void EntServiceInterface::onServiceClose()
{
    QLOG(1) << "service connection close";
}

void EntServiceInterface::onDataArrived(quint32 connectionId, const std::string& frame)
{
    mpak::ServiceFrame decoded;
    try {
        decoded = mpak::decodeFrame(frame);
    } catch (const mpak::UnpackError& error) {
        QLOG(1) << "drop malformed frame of " << frame.size() << " bytes: " << error.what();
        return;
    }
    if (connectionId == connId)
        emit dataArrivedSignal(decoded.maxType, decoded.minType, decoded.payload);
}

void EntServiceInterface::sendData(quint32 maxType, quint32 minType, const std::string& data)
{
    if (!servicePtr)
        return;
    QLOG(1) << "Sendmsg: maxType = " << maxType << " minType = " << minType;
    std::string frame;
    try {
        frame = mpak::encodeFrame(maxType, minType, data);
    } catch (const mpak::PackError& error) {
        QLOG(1) << "drop message of " << data.size() << " bytes: " << error.what();
        return;
    }
    servicePtr->send(connId, frame);
}
