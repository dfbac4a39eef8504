#pragma once

#include <QObject>
#include <memory>
#include <utility>

namespace talvo {

// Deletes a QObject once control is back in the event loop. Screens and sheets are replaced
// from inside their own signal handlers (the Install click, the Dismiss click), where deleting
// them at once would pull the object out from under the running handler.
struct DeferredDelete {
    void operator()(QObject* object) const { object->deleteLater(); }
};

template <typename T> using DeferredPtr = std::unique_ptr<T, DeferredDelete>;

template <typename T, typename... Arguments> DeferredPtr<T> makeDeferred(Arguments&&... arguments) {
    return DeferredPtr<T>(new T(std::forward<Arguments>(arguments)...));
}

} // namespace talvo
