#pragma once

// A pointer of the test's own in the Wayland compositor (the wlr virtual-pointer protocol), to
// move and press as a user would: the test desktop has no input devices, and what an X client
// fakes never reaches the compositor, so it could not start the compositor's own window move.
#include <wayland-client.h>

#include <linux/input-event-codes.h>

#include <cstring>

namespace mirelo::test {

namespace virtualpointer {

// The protocol's requests, in its order (the opcodes are their places).
inline const wl_interface* const kNoTypes[6] = {};
inline const wl_message kPointerRequests[] = {
    {"motion", "uff", const_cast<const wl_interface**>(kNoTypes)},
    {"motion_absolute", "uuuuu", const_cast<const wl_interface**>(kNoTypes)},
    {"button", "uuu", const_cast<const wl_interface**>(kNoTypes)},
    {"axis", "uuf", const_cast<const wl_interface**>(kNoTypes)},
    {"frame", "", const_cast<const wl_interface**>(kNoTypes)},
    {"axis_source", "u", const_cast<const wl_interface**>(kNoTypes)},
    {"axis_stop", "uu", const_cast<const wl_interface**>(kNoTypes)},
    {"axis_discrete", "uufi", const_cast<const wl_interface**>(kNoTypes)},
    {"destroy", "", const_cast<const wl_interface**>(kNoTypes)},
};
inline const wl_interface kPointer = {"zwlr_virtual_pointer_v1", 1, 9,
                                      kPointerRequests,          0, nullptr};
inline const wl_interface* kCreateTypes[] = {&wl_seat_interface, &kPointer};
inline const wl_message kManagerRequests[] = {
    {"create_virtual_pointer", "?on", kCreateTypes},
    {"destroy", "", const_cast<const wl_interface**>(kNoTypes)},
};
inline const wl_interface kManager = {
    "zwlr_virtual_pointer_manager_v1", 1, 2, kManagerRequests, 0, nullptr};

enum Opcode : uint32_t { motionAbsolute = 1, button = 2, frame = 4, destroy = 8 };

}  // namespace virtualpointer

class VirtualPointer {
public:
    VirtualPointer() {
        m_display = wl_display_connect(nullptr);
        if (!m_display) {
            return;
        }
        m_registry = wl_display_get_registry(m_display);
        static const wl_registry_listener listener = {
            [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
                auto* self = static_cast<VirtualPointer*>(data);
                if (std::strcmp(interface, virtualpointer::kManager.name) == 0) {
                    self->m_manager = static_cast<wl_proxy*>(
                        wl_registry_bind(registry, name, &virtualpointer::kManager, 1));
                } else if (std::strcmp(interface, "wl_seat") == 0 && !self->m_seat) {
                    self->m_seat = static_cast<wl_seat*>(
                        wl_registry_bind(registry, name, &wl_seat_interface, 1));
                }
            },
            [](void*, wl_registry*, uint32_t) {},
        };
        wl_registry_add_listener(m_registry, &listener, this);
        wl_display_roundtrip(m_display);
        if (m_manager) {
            m_pointer = wl_proxy_marshal_flags(m_manager, 0, &virtualpointer::kPointer, 1, 0,
                                               m_seat, nullptr);
            wl_display_roundtrip(m_display);
        }
    }

    ~VirtualPointer() {
        if (m_pointer) {
            wl_proxy_marshal_flags(m_pointer, virtualpointer::destroy, nullptr, 1,
                                   WL_MARSHAL_FLAG_DESTROY);
        }
        if (m_manager) {
            wl_proxy_destroy(m_manager);
        }
        if (m_seat) {
            wl_seat_destroy(m_seat);
        }
        if (m_registry) {
            wl_registry_destroy(m_registry);
        }
        if (m_display) {
            wl_display_disconnect(m_display);
        }
    }
    VirtualPointer(const VirtualPointer&) = delete;
    VirtualPointer& operator=(const VirtualPointer&) = delete;

    bool ok() const { return m_pointer != nullptr; }

    // Moves the pointer to (x, y) of the compositor's layout, `extent` being its size.
    void moveTo(int x, int y, int width, int height) {
        wl_proxy_marshal_flags(m_pointer, virtualpointer::motionAbsolute, nullptr, 1, 0, ++m_time,
                               static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                               static_cast<uint32_t>(width), static_cast<uint32_t>(height));
        endFrame();
    }

    void pressLeft(bool pressed) {
        wl_proxy_marshal_flags(m_pointer, virtualpointer::button, nullptr, 1, 0, ++m_time,
                               static_cast<uint32_t>(BTN_LEFT), pressed ? 1u : 0u);
        endFrame();
    }

private:
    void endFrame() {
        wl_proxy_marshal_flags(m_pointer, virtualpointer::frame, nullptr, 1, 0);
        wl_display_roundtrip(m_display);
    }

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    wl_proxy* m_manager = nullptr;
    wl_proxy* m_pointer = nullptr;
    uint32_t m_time = 1000;
};

}  // namespace mirelo::test
