#include "ui/XdndRequestFilter.h"

#include "jobs/DragOutData.h"
#include "platform/DebugLog.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>

namespace tq9 {

std::unique_ptr<CXdndRequestFilter> CXdndRequestFilter::ForThisDisplay()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return nullptr;
    return std::unique_ptr<CXdndRequestFilter>(new CXdndRequestFilter(x11->connection()));
}

CXdndRequestFilter::CXdndRequestFilter(xcb_connection_t* connection)
    : m_connection(connection)
    , m_xdndSelection(Atom("XdndSelection"))
    , m_uriList(Atom("text/uri-list"))
{
}

uint32_t CXdndRequestFilter::Atom(const char* name) const
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(m_connection, false, uint16_t(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(m_connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : uint32_t(XCB_ATOM_NONE);
}

bool CXdndRequestFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !m_data)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST)
        return false;
    const auto* request = reinterpret_cast<const xcb_selection_request_event_t*>(event);
    // Requests with a real time stamp are the drop's and Qt answers them itself.
    if (request->selection != m_xdndSelection || request->target != m_uriList || request->time != XCB_CURRENT_TIME ||
        m_uriList == XCB_ATOM_NONE)
        return false;
    const QByteArray list = m_data->UriList();
    if (list.isEmpty())
        return false; // nothing to hand over: let Qt refuse

    // Old clients name no property; the target's name is the one to use then.
    const xcb_atom_t property = request->property != XCB_ATOM_NONE ? request->property : request->target;
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request->requestor, property, m_uriList, 8,
                        uint32_t(list.size()), list.constData());
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    notify.property = property;
    char wire[32] = {}; // the server takes every event as 32 bytes
    static_assert(sizeof notify <= sizeof wire);
    std::memcpy(wire, &notify, sizeof notify);
    xcb_send_event(m_connection, false, request->requestor, XCB_EVENT_MASK_NO_EVENT, wire);
    xcb_flush(m_connection);
    ++m_answered;
    CDebugLog::Write("drag-out: answered a file-list request of window " + std::to_string(request->requestor));
    return true;
}

} // namespace tq9
