#include "platform/presenter.h"

#include <atomic>
#include <cstdio>

namespace quorvel::platform {
namespace {

std::atomic<Presenter*> g_replacement{nullptr};

// The buttons of a message box type, in the order Win32 shows them.
int button(unsigned type, unsigned position) {
    static const int kButtons[6][3] = {
        {IDOK, IDOK, IDOK},      {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
    };
    const unsigned kind = type & 0xF;
    if (kind > 5) return IDOK;
    return kButtons[kind][position > 2 ? 2 : position];
}

}  // namespace

int DefaultPresenter::message_box(HWND, const std::string& text, const std::string& caption,
                                  unsigned type) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    // The default button: the first unless MB_DEFBUTTON2 or MB_DEFBUTTON3 says otherwise.
    return button(type, (type >> 8) & 0xF);
}

int DefaultPresenter::show_modal(Window& form) {
    form.begin_show();
    form.press_enter();
    if (form.modal_result() == 0) form.set_modal_result(IDOK);
    return form.modal_result();
}

void Presenter::show_modeless(Window& form) { form.begin_show(); }

bool DefaultPresenter::browse_for_folder(const std::string&, std::string&) { return false; }

Presenter& presenter() {
    if (Presenter* own = PerCall<Presenter>::installed()) return *own;
    static DefaultPresenter default_presenter;
    Presenter* replacement = g_replacement.load();
    return replacement != nullptr ? *replacement : default_presenter;
}

Presenter* set_presenter(Presenter* replacement) { return g_replacement.exchange(replacement); }

bool presenter_replaced() { return g_replacement.load() != nullptr; }

}  // namespace quorvel::platform
