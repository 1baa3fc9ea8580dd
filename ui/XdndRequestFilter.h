// Answers file-list requests for our drag that Qt would turn away on X11. GTK 4 targets (current GNOME
// file managers among them) ask for the drag's data from a window of their own with CurrentTime as the
// time stamp, both while the pointer is over them and at the drop; Qt only answers requests whose time
// matches the drag or the drop, or that come from the drop's target window, and refuses these, so such a
// target receives nothing. This filter takes the "text/uri-list" requests with CurrentTime itself and
// answers them with the drag's list; every other request goes to Qt as before.
//
// Inert once the drag's data is gone (Qt deletes it when the target has finished) or holds no list (a
// cancelled or failed export). UI thread only.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>

#include <cstdint>
#include <memory>

struct xcb_connection_t;

namespace tq9 {

class CDragOutData;

class CXdndRequestFilter : public QAbstractNativeEventFilter {
public:
    // Null when the application does not run on X11.
    static std::unique_ptr<CXdndRequestFilter> ForThisDisplay();

    // The drag whose list is handed out; null stops answering.
    void SetData(CDragOutData* data) { m_data = data; }
    int Answered() const { return m_answered; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    explicit CXdndRequestFilter(xcb_connection_t* connection);
    uint32_t Atom(const char* name) const;

    xcb_connection_t* m_connection;
    uint32_t m_xdndSelection;
    uint32_t m_uriList;
    QPointer<CDragOutData> m_data;
    int m_answered = 0;
};

} // namespace tq9
