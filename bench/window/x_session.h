#pragma once

// The X server the window benchmark runs on, and a client of it beside the toolkit's:
// Xvfb with openbox, started and stopped by the benchmark; mouse events injected into the
// server (XTest), the screen read back, and the window manager's list of windows.

#include <QPoint>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/types.h>

namespace vx37::bench {

class XClient
{
public:
    XClient()
    {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_))
            qFatal("vx37-window-bench: cannot connect to the X server");
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        clientList_ = atom("_NET_CLIENT_LIST");
        wmCheck_ = atom("_NET_SUPPORTING_WM_CHECK");
        protocols_ = atom("WM_PROTOCOLS");
        deleteWindow_ = atom("WM_DELETE_WINDOW");
    }
    ~XClient() { xcb_disconnect(connection_); }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool hasWindowManager() { return !windowList(wmCheck_).empty(); }
    std::vector<xcb_window_t> clients() { return windowList(clientList_); }

    bool viewable(xcb_window_t window)
    {
        auto* reply = xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, window), nullptr);
        const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return result;
    }

    // The pixel as 0xRRGGBB, or -1 while the window shows nothing to read.
    std::int64_t pixel(xcb_window_t window, int x, int y)
    {
        auto* reply =
            xcb_get_image_reply(connection_,
                                xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window,
                                              std::int16_t(x), std::int16_t(y), 1, 1, ~0u),
                                nullptr);
        std::int64_t result = -1;
        if (reply && xcb_get_image_data_length(reply) >= 4) {
            std::uint32_t value = 0;
            std::memcpy(&value, xcb_get_image_data(reply), 4);
            result = value & 0xFFFFFF;
        }
        std::free(reply);
        return result;
    }

    void move(QPoint to) { fake(XCB_MOTION_NOTIFY, 0, to); }
    void press(QPoint at) { fake(XCB_BUTTON_PRESS, 1, at); }
    void release(QPoint at) { fake(XCB_BUTTON_RELEASE, 1, at); }

    // As the close box does.
    void close(xcb_window_t window)
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = protocols_;
        message.data.data32[0] = deleteWindow_;
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection_, false, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(connection_);
    }

private:
    xcb_atom_t atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, std::uint16_t(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    std::vector<xcb_window_t> windowList(xcb_atom_t property)
    {
        auto* reply = xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, root_, property, XCB_ATOM_WINDOW, 0, 1024), nullptr);
        std::vector<xcb_window_t> result;
        if (reply && reply->format == 32) {
            const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
            result.assign(windows, windows + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return result;
    }

    void fake(std::uint8_t type, std::uint8_t detail, QPoint at)
    {
        xcb_test_fake_input(connection_, type, detail, XCB_CURRENT_TIME, root_,
                            std::int16_t(at.x()), std::int16_t(at.y()), 0);
        xcb_flush(connection_);
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t clientList_ = 0;
    xcb_atom_t wmCheck_ = 0;
    xcb_atom_t protocols_ = 0;
    xcb_atom_t deleteWindow_ = 0;
};

// The program as vx37-panel runs it: Form1 over the panel, loaded and shown.

// Xvfb on a free display number, with openbox; DISPLAY names it once started. Both end
// with the benchmark, even when it is killed.
struct XSession
{
    pid_t server = -1;
    pid_t windowManager = -1;
    std::string display;

    ~XSession();
    bool start(std::string* error);
};

} // namespace vx37::bench
