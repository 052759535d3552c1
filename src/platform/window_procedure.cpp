// The main window's replaceable message procedure and the default one at the end of the chain.
#include "platform/window_procedure.h"

#include <QWidget>

#include <utility>

namespace snipora {

std::int32_t callWindowProc(const WindowProc& procedure, QWidget& window, std::uint32_t message,
                            std::uint32_t wParam, std::int32_t lParam) {
    if (!procedure) {
        return 0;
    }
    return procedure(window, message, wParam, lParam);
}

std::int32_t defaultWindowProc(QWidget& window, std::uint32_t message, std::uint32_t wParam,
                               std::int32_t lParam) {
    Q_UNUSED(lParam)
    if (message != WM_SYSCOMMAND) {
        return 0;
    }
    switch (wParam & 0xFFF0U) {
    case SC_MINIMIZE:
        window.showMinimized();
        break;
    case SC_MAXIMIZE:
        window.showMaximized();
        break;
    case SC_RESTORE:
        window.showNormal();
        break;
    case SC_CLOSE:
        window.close();
        break;
    default:
        break;
    }
    return 0;
}

WindowProcedure::WindowProcedure(QWidget& window)
    : window_(window), procedure_(&defaultWindowProc) {}

WindowProc WindowProcedure::replace(WindowProc procedure) {
    return std::exchange(procedure_, std::move(procedure));
}

std::int32_t WindowProcedure::send(std::uint32_t message, std::uint32_t wParam,
                                   std::int32_t lParam) {
    // A copy: the procedure may replace itself while it runs.
    const WindowProc current = procedure_;
    return callWindowProc(current, window_, message, wParam, lParam);
}

} // namespace snipora
