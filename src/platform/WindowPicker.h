#pragma once

#include <QObject>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mirelo {

// One top-level window as the window list reports it.
struct WindowListEntry {
    std::optional<uint32_t> pid;  // owning process (_NET_WM_PID), absent when unknown
    bool isNormal = true;         // an ordinary application window (type normal or unset)
    bool isAbove = false;         // kept above the others (_NET_WM_STATE_ABOVE)
    QRect bounds;                 // device pixels, root coordinates, window-manager frame included
    uint32_t window = 0;          // the application's own window (X window id); 0 when unknown
};

// The window a pick found.
struct PickedWindow {
    QRectF frame;  // global desktop coordinates (points), window-manager frame included
    // The application's window, for recording it (X window id); 0 when unknown.
    uint32_t window = 0;
};

// Where the picker gets its window list from: front-most first. std::nullopt when no list
// can be had (no display).
class WindowListSource {
public:
    virtual ~WindowListSource() = default;
    virtual std::optional<std::vector<WindowListEntry>> windowsFrontMostFirst() = 0;
};

// Lets the user align the recording frame to another application's window with one click.
// Main thread only. While a pick runs, the pointer and the keyboard are grabbed: the next click
// anywhere picks (the pointer shows a crosshair), Escape cancels, even while another
// application is active.
class WindowPicker : public QObject {
    Q_OBJECT
public:
    // The window clicked, or nothing.
    using Completion = std::function<void(std::optional<PickedWindow> picked)>;

    // Smallest window a pick accepts, in points.
    static constexpr int kMinimumSide = 50;

    static WindowPicker& shared();

    // Starts a pick; `completion` is called exactly once, later, with the frame of the window
    // clicked, or with nothing (Escape, a click on one of our own windows or where no suitable
    // window lies, or the grab could not be had) — unless another begin() or cancel() comes
    // first, which drops it uncalled.
    void begin(Completion completion);
    // Ends a pick in progress without calling its completion; releases the grabs.
    void cancel();
    bool isPicking() const;

    // The frame of the front-most suitable window of another process under `at` (global
    // desktop coordinates, points), or nothing.
    static std::optional<QRectF> windowFrame(const QPointF& at);

    // The selection rule on a given list (front-most first), in device pixels: the first entry
    // with a known pid other than `ownPid`, normal and not kept above, at least kMinimumSide
    // points on each side (`ratio` device pixels a point), whose bounds contain `at` (left/top
    // edges in, right/bottom edges out).
    static std::optional<QRect> windowFrame(const QPoint& at,
                                            const std::vector<WindowListEntry>& frontMostFirst,
                                            uint32_t ownPid, qreal ratio = 1.0);
    // What a click at `at` picks: nothing when the front-most window there (of any kind) is
    // one of ours, else windowFrame() above.
    static std::optional<QRect> pickAt(const QPoint& at,
                                       const std::vector<WindowListEntry>& frontMostFirst,
                                       uint32_t ownPid, qreal ratio = 1.0);
    // The same, the whole entry.
    static std::optional<WindowListEntry> entryAt(
        const QPoint& at, const std::vector<WindowListEntry>& frontMostFirst, uint32_t ownPid,
        qreal ratio = 1.0);

    // One line saying which windows a pick cannot find on this desktop, or nothing: on a
    // Wayland desktop only XWayland windows can be listed, native ones cannot.
    static std::optional<QString> listingLimitation();

    // Replaces the window list source (tests); nullptr restores the X11 one.
    void setWindowListSource(std::shared_ptr<WindowListSource> source);

    ~WindowPicker() override;

private:
    WindowPicker();
    struct Session;
    void finish(std::optional<PickedWindow> picked);
    void onClick(const QPoint& devicePixel);

    std::shared_ptr<WindowListSource> m_source;
    Completion m_completion;
    std::unique_ptr<Session> m_session;
};

}  // namespace mirelo
