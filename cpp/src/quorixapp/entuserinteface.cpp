#include "entuserinteface.h"

EntUserInterface::EntUserInterface() = default;
EntUserInterface::~EntUserInterface() = default;

quint32 EntUserInterface::getCurrentUserUid() { return 0; }
bool EntUserInterface::isCurrentUserIsManager() { return false; }
