#include "recordwnd.h"

recordWnd::recordWnd() = default;
recordWnd::~recordWnd() = default;

void recordWnd::init(QuorixController*) {}
void recordWnd::showWindow() {}
void recordWnd::refreshRecordList() {}
void recordWnd::onCloseBtnClicked() {}
