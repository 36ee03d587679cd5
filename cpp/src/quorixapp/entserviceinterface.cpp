#include "entserviceinterface.h"

EntServiceInterface::EntServiceInterface() = default;
EntServiceInterface::~EntServiceInterface() = default;

void EntServiceInterface::sendData(quint32, quint32, const std::string&) {}
