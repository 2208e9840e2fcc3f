// Portable GDI: the optional drawing observer (observer.h).
#include "observer.h"

namespace portable {

DrawObserver* draw_observer = nullptr;

DrawObserver* set_draw_observer(DrawObserver* observer) {
    DrawObserver* previous = draw_observer;
    draw_observer = observer;
    return previous;
}

}  // namespace portable
