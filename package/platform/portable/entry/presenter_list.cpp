// Portable entry point: the list of presenters with real windows (see
// presenter_list.h). Each presenter's folder declares its factory in its header.
#include "presenter_list.h"

#ifdef TAVLO_HAVE_QT
#include "../presenters/qt/qt_presenter.h"
#endif
#ifdef TAVLO_HAVE_WEB
#include "../presenters/web/web_presenter.h"
#endif

namespace portable {

namespace {

#ifdef TAVLO_HAVE_QT
Presenter* open_qt(int& argc, char** argv, const EntryOptions&, std::string& why) {
    return make_qt_presenter(argc, argv, why);
}
#endif

#ifdef TAVLO_HAVE_WEB
// The page's windows; the page passes its URL options, --client among them
// (--frames is the entry point's, as for any presenter).
// Under node, outside a page, there is none (and no reason worth more than "no
// real windows").
Presenter* open_web(int&, char**, const EntryOptions& options, std::string&) {
    WebPresenter* web = make_web_presenter();
    if (web == nullptr) return nullptr;
    if (options.client) web->set_client_size_override(*options.client);
    return web;
}
#endif

}  // namespace

const std::vector<WindowPresenter>& window_presenters() {
    static const std::vector<WindowPresenter> list = {
#ifdef TAVLO_HAVE_QT
        {"qt", open_qt, nullptr},
#endif
#ifdef TAVLO_HAVE_WEB
        {"web", open_web, end_web_program},
#endif
    };
    return list;
}

}  // namespace portable
