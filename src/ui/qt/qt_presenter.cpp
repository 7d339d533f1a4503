#include "ui/qt/qt_presenter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <quorvel/wingdi.h>

namespace quorvel::ui::qt {
namespace {

QMessageBox::Icon icon_of(unsigned type) {
    switch (type & 0xF0) {
        case MB_ICONERROR:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONWARNING:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

// The buttons of a message box type, with the answer each gives, in Win32's order.
std::vector<std::pair<QMessageBox::StandardButton, int>> buttons_of(unsigned type) {
    switch (type & 0xF) {
        case MB_OKCANCEL:
            return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
        case MB_ABORTRETRYIGNORE:
            return {{QMessageBox::Abort, IDABORT},
                    {QMessageBox::Retry, IDRETRY},
                    {QMessageBox::Ignore, IDIGNORE}};
        case MB_YESNOCANCEL:
            return {{QMessageBox::Yes, IDYES},
                    {QMessageBox::No, IDNO},
                    {QMessageBox::Cancel, IDCANCEL}};
        case MB_YESNO:
            return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
        case MB_RETRYCANCEL:
            return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    }
    return {{QMessageBox::Ok, IDOK}};
}

}  // namespace

QtPresenter::QtPresenter(ScreenSink tell_screen)
    : previous_(platform::set_presenter(this)), tell_screen_(std::move(tell_screen)) {}

QtPresenter::~QtPresenter() { platform::set_presenter(previous_); }

int QtPresenter::message_box(HWND, const std::string& text, const std::string& caption,
                             unsigned type) {
    QMessageBox box(icon_of(type), QString::fromLocal8Bit(caption.c_str()),
                    QString::fromLocal8Bit(text.c_str()));
    const auto buttons = buttons_of(type);
    for (const auto& [button, answer] : buttons) box.addButton(button);
    const size_t default_index = (type >> 8) & 0xF;
    if (default_index < buttons.size()) box.setDefaultButton(buttons[default_index].first);
    const int pressed = box.exec();
    for (const auto& [button, answer] : buttons) {
        if (pressed == button) return answer;
    }
    // Closed from the title bar: Cancel when there is one, else the only button.
    return buttons.size() > 1 ? IDCANCEL : buttons.front().second;
}

void QtPresenter::tell_screen() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || !tell_screen_) return;
    const QRect area = screen->availableGeometry();
    tell_screen_({area.width(), area.height()});
}

// Every window shown is a toolkit form.
int QtPresenter::show_modal(platform::Window& shown) {
    toolkit::Form& form = static_cast<toolkit::Form&>(shown);
    FormWindow window(form, QApplication::activeWindow());
    window.setModal(true);
    tell_screen();
    form.begin_show();
    window.move(form.left(), form.top());
    window.refresh();
    window.exec();
    return form.modal_result() != 0 ? form.modal_result() : IDCANCEL;
}

void QtPresenter::show_modeless(platform::Window& shown) {
    toolkit::Form& form = static_cast<toolkit::Form&>(shown);
    std::unique_ptr<FormWindow>& window = windows_[&form];
    if (!window) window = std::make_unique<FormWindow>(form);
    tell_screen();
    form.begin_show();
    window->move(form.left(), form.top());
    window->refresh();
    window->show();
    window->raise();
}

void QtPresenter::process_messages() {
    for (const auto& [form, window] : windows_) window->refresh();
    QApplication::processEvents();
}

bool QtPresenter::browse_for_folder(const std::string& title, std::string& folder) {
    const QString chosen = QFileDialog::getExistingDirectory(
        QApplication::activeWindow(), QString::fromLocal8Bit(title.c_str()),
        QString::fromLocal8Bit(folder.c_str()));
    if (chosen.isEmpty()) return false;
    folder = chosen.toLocal8Bit().toStdString();
    return true;
}

FormWindow* QtPresenter::window_of(const toolkit::Form& form) const {
    const auto it = windows_.find(&form);
    return it == windows_.end() ? nullptr : it->second.get();
}

}  // namespace quorvel::ui::qt
