// The main window's replaceable message procedure and the system commands it receives.
#pragma once

#include <cstdint>
#include <functional>

class QWidget;

namespace snipora {

// The message a window-menu choice delivers, with the chosen entry's id in wParam.
inline constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;
// The ids of the window menu's own entries. As on the desktop the program was designed for,
// their low four bits are free for the system's use, so the default procedure masks them off.
inline constexpr std::uint32_t SC_MINIMIZE = 0xF020;
inline constexpr std::uint32_t SC_MAXIMIZE = 0xF030;
inline constexpr std::uint32_t SC_CLOSE = 0xF060;
inline constexpr std::uint32_t SC_RESTORE = 0xF120;

// A message procedure: (window, message, wParam, lParam) -> result, all 32 bits wide.
using WindowProc = std::function<std::int32_t(QWidget& window, std::uint32_t message,
                                              std::uint32_t wParam, std::int32_t lParam)>;

// Passes a message to the given procedure and gives its result; nothing happens for an empty
// one, as for a procedure address of 0.
std::int32_t callWindowProc(const WindowProc& procedure, QWidget& window, std::uint32_t message,
                            std::uint32_t wParam, std::int32_t lParam);

// What a window does with a message nobody else handled: the window menu's own commands
// minimise, maximise, restore and close it; everything else is left alone.
std::int32_t defaultWindowProc(QWidget& window, std::uint32_t message, std::uint32_t wParam,
                               std::int32_t lParam);

// The slot that holds a window's current message procedure, the default one at first.
class WindowProcedure {
public:
    explicit WindowProcedure(QWidget& window);

    // Installs `procedure` and gives back the one it replaces, so that the new one can chain.
    WindowProc replace(WindowProc procedure);
    // Delivers a message to the window's current procedure.
    std::int32_t send(std::uint32_t message, std::uint32_t wParam, std::int32_t lParam);

private:
    QWidget& window_;
    WindowProc procedure_;
};

} // namespace snipora
