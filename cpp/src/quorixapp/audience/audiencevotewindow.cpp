#include "audiencevotewindow.h"

#include "audiencewindow.h"

AudienceVoteWindow::~AudienceVoteWindow() = default;

void AudienceVoteWindow::showOnTop()
{
    audience::showOnTop(frameWindow());
}

void AudienceVoteWindow::flashTaskbar()
{
    audience::flashTaskbar(frameWindow());
}

void AudienceVoteWindow::onSysCommand(PaneSysCommandRequest* request)
{
    if (audience::handleSysCommand(frameWindow(), request))
        showOnTop();
}
