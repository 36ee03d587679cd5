#pragma once

// A request from the window system, handed to PaneFrameWindow::sysCommand listeners. Listeners
// may reject it; the window acts only on accepted requests. Valid during the emit only.

class PaneSysCommandRequest
{
public:
    enum Type
    {
        Close = 0,
        Minimize = 1,
        Restore = 2
    };

    explicit PaneSysCommandRequest(int type) : m_type(type) {}

    int type() const { return m_type; }
    void accept() { m_accepted = true; }
    void reject() { m_accepted = false; }
    bool isAccepted() const { return m_accepted; }

private:
    int m_type;
    bool m_accepted = true;
};
