// Placeholder default presenter: replaced by the headless presenter.
#include "../../presenter.h"

namespace portable {
namespace {
class NullPresenter : public Presenter {
public:
    void window_created(HWND) override {}
    SIZE client_size(HWND) override { return {585, 481}; }
    void window_shown(HWND, bool) override {}
    void window_destroyed(HWND) override {}
    void menu_changed(HWND) override {}
    void present(HWND) override {}
    bool wait(int64_t) override { return false; }
    int64_t now_ms() override { return 0; }
    SIZE screen_size() override { return {1024, 768}; }
};
}  // namespace
Presenter* make_default_presenter() {
    static NullPresenter presenter;
    return &presenter;
}
}  // namespace portable
